// TarrowMgrCli: the generator without a window, for scripts and machines without a display.
#include <iostream>
#include <string>
#include <vector>

#include "generator/cli/cli_options.h"
#include "generator/logic/random_source.h"
#include "generator/logic/version_info.h"
#include "generator/logic/workload_writer.h"
#include "generator/posix/home_folder.h"
#include "generator/posix/posix_file_system.h"

int main(int argc, char** argv) {
    using namespace tarrowmgr;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const CliCommand command = parseCliOptions(args, defaultInputs(userHomeFolder()));
    switch (command.kind) {
    case CliCommand::Kind::Help: std::cout << cliUsage(); return 0;
    case CliCommand::Kind::Version:
        std::cout << kProductName << " " << kFileVersion << "\n" << kFileDescription << "\n";
        return 0;
    case CliCommand::Kind::Error:
        std::cerr << "TarrowMgrCli: " << command.error << "\n" << cliUsage();
        return 2;
    case CliCommand::Kind::Write: break;
    }
    PosixFileSystem files;
    RandomSource random;
    if (const auto failure = writeWorkloadFiles(command.inputs, random, files)) {
        // A file's failure names the file; the others are the platform's text alone, as ever.
        if (failure->path.empty()) std::cerr << failure->text << "\n";
        else
            std::cerr << "TarrowMgrCli: error: writing " << failure->path << " failed: " << failure->text
                      << "\n";
        return 1;
    }
    return 0;
}
