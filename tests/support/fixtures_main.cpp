// quillory-fixtures FOLDER: writes every fixture workbook into FOLDER (created when missing) and
// prints one line per file: "<file name><TAB><feature>".

#include "support/Fixtures.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: quillory-fixtures FOLDER\n";
        return 2;
    }
    try {
        std::filesystem::create_directories(argv[1]);
        quillory::testing::writeAllFixtures(argv[1]);
        for (const auto& fixture : quillory::testing::fixtureWorkbooks()) {
            std::cout << fixture.fileName << '\t' << fixture.feature << '\n';
        }
    } catch (const std::exception& error) {
        std::cerr << "quillory-fixtures: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
