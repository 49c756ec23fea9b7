// quillory-check-package FILE...: prints the structural problems of each .xlsx package, one per
// line prefixed by the file name; exit 0 when every package is sound, 1 otherwise, 2 on usage.

#include "support/PackageChecker.h"

#include <iostream>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: quillory-check-package FILE.xlsx...\n";
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const auto problems = quillory::testing::checkPackageFile(argv[i]);
        for (const auto& problem : problems) {
            std::cout << argv[i] << ": " << problem << '\n';
        }
        if (!problems.empty()) {
            status = 1;
        }
    }
    return status;
}
