#pragma once

#include <functional>

#include "hosts_checker.h"
#include "win_handle_owners.h"

// Reads and writes the hosts file under the Windows system directory.
class WinHostsChecker : public HostsChecker {
public:
    int Repair() override;
    std::string GetHostsFilePath() override;
    int BuildHostsContent() override;

private:
    bool CopyAppending(const ByteWriter& write, const std::function<bool()>& rewind);

    // the file itself, from a check that found the rules would only append to it
    UniqueFileHandle source;
};
