// A stand-in for gnuplot.exe on Windows, where the tests have no gnuplot:
// called as plughost calls gnuplot (`-e "cd 'FOLDER'" SCRIPT`), it goes to
// the folder and writes every file the script sets as output, so that a
// test sees which pictures plughost asked for and where.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4 || std::strcmp(argv[1], "-e") != 0) {
        std::fprintf(stderr, "usage: gnuplot -e \"cd 'FOLDER'\" SCRIPT\n");
        return 1;
    }
    const std::string command = argv[2];
    if (command.rfind("cd '", 0) != 0 || command.back() != '\'') {
        std::fprintf(stderr, "gnuplot: expected cd 'FOLDER', got %s\n", argv[2]);
        return 1;
    }
    std::string folder;
    for (std::size_t i = 4; i + 1 < command.size(); ++i) {
        folder += command[i];
        i += command[i] == '\'' ? 1 : 0;  // '' is a quote
    }
    std::filesystem::current_path(folder);
    std::ifstream script(argv[3]);
    if (!script) {
        std::fprintf(stderr, "gnuplot: cannot read %s\n", argv[3]);
        return 1;
    }
    for (std::string line; std::getline(script, line);) {
        const std::string prefix = "set output '";
        if (line.rfind(prefix, 0) == 0) {
            std::ofstream(line.substr(prefix.size(), line.size() - prefix.size() - 1))
                << "A picture drawn by the stand-in for gnuplot, from the script " << argv[3]
                << ", in the place of the one gnuplot would draw.\n";
        }
    }
    return 0;
}
