// rdxgw-map: the gateway's register map as the documents show it.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "RegisterMap.h"

namespace {

int usage()
{
    std::cerr << "usage: rdxgw-map --markdown | --html | --update FILE...\n"
                 "  --update puts the table between the markers of each file\n"
                 "  (Markdown into *.md, HTML into the others)\n";
    return 2;
}

bool update(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        std::cerr << "rdxgw-map: cannot read " << path << "\n";
        return false;
    }
    std::string content = text.str();
    const bool markdown = path.size() >= 3 && path.compare(path.size() - 3, 3, ".md") == 0;
    if (!rdxgw::replaceTable(content, markdown ? rdxgw::markdownTable() : rdxgw::htmlTable())) {
        std::cerr << "rdxgw-map: " << path << " has no line \"" << rdxgw::kBeginMarker << "\" followed by \""
                  << rdxgw::kEndMarker << "\"\n";
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        std::cerr << "rdxgw-map: cannot write " << path << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string what = argv[1];
    if (what == "--markdown" && argc == 2)
        std::cout << rdxgw::markdownTable();
    else if (what == "--html" && argc == 2)
        std::cout << rdxgw::htmlTable();
    else if (what == "--update" && argc > 2) {
        bool ok = true;
        for (int i = 2; i < argc; ++i)
            ok = update(argv[i]) && ok;
        return ok ? 0 : 1;
    } else
        return usage();
    return 0;
}
