#include "AppFrameTool.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "foundation/TextCodec.h"

#include <windows.h>

#include <shellapi.h>

int RunHandOver(const std::vector<std::string>& args);

int main() {
    // The narrow argv of the C runtime is in the ANSI code page and has already lost what it
    // cannot hold; the tool takes UTF-8, so read the wide command line.
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        std::cerr << "appframe-tool: cannot read the command line\n";
        return 2;
    }
    for (int i = 1; i < count; ++i)
        args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    if (!args.empty() && args[0] == "handover") return RunHandOver(args);
    return RunTool(args, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
    return RunTool(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
#endif
