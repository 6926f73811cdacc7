#!/usr/bin/env python3
"""The C example host (quorlin/example_host/example_host.c) end to end, as a person runs it:
under Wine on the display and prefix that tests/quorlin_e2e/dialogs_e2e.py set up, its dialog
answered with xdotool; each case compares the whole output and the exit status. The scriptable host
of the consumer reads the dialog's name box, so that a typed name is checked before Return.
  example_e2e.py --state DIR --host <quorlin_c_host.exe> --example <quorlin_example_host_c.exe>"""
import argparse
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "quorlin_e2e"))
import dialogs_e2e  # noqa: E402

USAGE = b"usage: quorlin_example_host_c <kind 0-4> <en|cs> [seconds]\r\n"


class ExampleTests(dialogs_e2e.DialogTests):
    example = None

    def run_example(self, args, answer):
        process = subprocess.Popen(dialogs_e2e.wine(self.state, self.example, *args), cwd=self.folder,
                                   env=dialogs_e2e.display_env(self.state), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, close_fds=True)
        try:
            if answer is not None:
                answer()
            out, err = process.communicate(timeout=dialogs_e2e.WAIT)
        finally:
            if process.poll() is None:
                process.kill()
                process.communicate()
        return out, err, process.returncode

    def test_CExample_PrintsTheCallbacksResult_AsOneJsonLine(self):
        self.make_files("files\\a.txt", "files\\b.txt")
        files = self.windows_path("files")
        reader = self.start_host()

        def choose():
            window = self.screen.wait_window("Choose Files")
            self.enter(reader, "Choose Files", window, files)
            self.enter(reader, "Choose Files", window, '"b.txt" "a.txt"')

        escaped = files.replace("\\", "\\\\").encode()
        cases = (  # arguments, what the person does, standard output, standard error, exit status
            (["0", "en", "60"], choose,
             b'{"status":"chosen","directory":"' + escaped + b'","names":["b.txt","a.txt"]}\r\n', b"", 0),
            (["1", "en", "1"], None, b"", b"no answer from the dialog within 1 s\r\n", 1),
            (["5", "en"], None, b"", USAGE, 2),
        )
        for args, answer, out, err, status in cases:
            with self.subTest(args=args):
                self.assertEqual(self.run_example(args, answer), (out, err, status))
        reader.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--state", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--example", required=True)
    args = parser.parse_args()
    ExampleTests.state = dialogs_e2e.load_state(args.state)
    ExampleTests.state_dir = os.path.abspath(args.state)
    ExampleTests.host_exe = os.path.abspath(args.host)
    ExampleTests.example = os.path.abspath(args.example)
    suite = unittest.TestSuite([ExampleTests("test_CExample_PrintsTheCallbacksResult_AsOneJsonLine")])
    return 0 if unittest.TextTestRunner(stream=sys.stdout, verbosity=2).run(suite).wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
