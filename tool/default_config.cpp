#include "default_config.h"

// Several top-level elements side by side, separated by tabs; the backslashes of the command key
// are single characters of the document.
const std::string kDefaultConfig =
    "<hosts>\t<hosts1 domain=\"localhost.brevant.io\" ip=\"127.0.0.1\"/>\t</hosts>\t"
    "<setup>\t"
    "<win>\t"
    "<item1 key=\"HKEY_CLASSES_ROOT\" sub_key=\"%s\\shell\\open\\command\" "
    "data=\"%s-watch.exe %%1\" wtag=\"setup\" current_path_enable=\"1\"/>\t"
    "<item2 key=\"HKEY_CLASSES_ROOT\" sub_key=\"%s\" data=\"URL:%s Protocol\" wtag=\"url\" "
    "current_path_enable=\"0\"/>\t"
    "<item3 key=\"HKEY_CLASSES_ROOT\" sub_key=\"%s\" data=\"\" wtag=\"url_protocol\" "
    "current_path_enable=\"0\"/>\t"
    "</win>\t"
    "<linux>\t<item1 key=\"/usr/share/applications/brevant-url.desktop\" data=\"brevant %u\"/>\t"
    "</linux>\t"
    "</setup>";
