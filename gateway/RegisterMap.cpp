#include "RegisterMap.h"

#include <bitset>

namespace rdxgw {

namespace {

constexpr int kAddresses = 65536;

// Per table the addresses the map gives a value.
const std::bitset<kAddresses>& addressesOf(Table table)
{
    static const std::array<std::bitset<kAddresses>, 2> sets = [] {
        std::array<std::bitset<kAddresses>, 2> s;
        for (const MapEntry& e : kRegisterMap)
            for (int i = 0; i < itemCount(e.item); ++i)
                for (int j = 0; j < e.subs; ++j)
                    for (int w = 0; w < width(e.kind); ++w)
                        s[static_cast<std::size_t>(e.table)].set(static_cast<std::size_t>(address(e, i, j) + w));
        return s;
    }();
    return sets[static_cast<std::size_t>(table)];
}

std::string functionText(Table table)
{
    return table == Table::InputRegisters ? "04 input registers" : "02 discrete inputs";
}

std::string kindText(Kind kind)
{
    switch (kind) {
    case Kind::Float32:
        return "float32";
    case Kind::Uint32:
        return "uint32";
    case Kind::Uint16:
        return "uint16";
    case Kind::Bit:
        return "bit";
    }
    return {};
}

// "1000 + k", "2002 + 8s", "4 + 8k + l".
std::string formula(const MapEntry& e)
{
    const std::string letter = e.item == Item::Channel ? "k" : "s";
    std::string text = e.first > 0 ? std::to_string(e.first) + " + " : std::string();
    text += (e.stride == 1 ? std::string() : std::to_string(e.stride)) + letter;
    if (e.subs > 1)
        text += width(e.kind) == 1 ? " + l" : " + " + std::to_string(width(e.kind)) + "l";
    return text;
}

std::string content(const MapEntry& e)
{
    std::string text = e.content;
    const std::string mark = "@QUALITY@";
    if (const auto at = text.find(mark); at != std::string::npos) {
        std::string codes;
        for (std::size_t q = 0; q < kQualityNames.size(); ++q)
            codes += (q ? ", " : "") + std::to_string(q) + " " + kQualityNames[q];
        text.replace(at, mark.size(), codes);
    }
    return text;
}

struct Row {
    std::string function, addresses, range, per, type, content;
};

template <typename F> void forEachRow(F&& row)
{
    for (const MapEntry& e : kRegisterMap)
        row(Row{functionText(e.table), formula(e), std::to_string(address(e, 0)) + "-" + std::to_string(lastAddress(e)),
                e.item == Item::Channel ? "channel" : "recorder", kindText(e.kind), content(e)});
}

std::string htmlEscaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

}  // namespace

bool inMap(Table table, int first, int count)
{
    if (count < 1 || first < 0 || first + count > kAddresses)
        return false;
    const auto& set = addressesOf(table);
    for (int a = first; a < first + count; ++a)
        if (!set.test(static_cast<std::size_t>(a)))
            return false;
    return true;
}

std::string markdownTable()
{
    std::string text = "| Function | Address | Range | Per | Type | Content |\n|---|---|---|---|---|---|\n";
    forEachRow([&](const Row& r) {
        text += "| " + r.function + " | " + r.addresses + " | " + r.range + " | " + r.per + " | " + r.type + " | "
            + r.content + " |\n";
    });
    return text;
}

std::string htmlTable()
{
    std::string text = "<table>\n<tr><th>Function</th><th>Address</th><th>Range</th><th>Per</th><th>Type</th>"
                       "<th>Content</th></tr>\n";
    forEachRow([&](const Row& r) {
        text += "<tr><td>" + r.function + "</td><td>" + r.addresses + "</td><td>" + r.range + "</td><td>" + r.per
            + "</td><td>" + r.type + "</td><td>" + htmlEscaped(r.content) + "</td></tr>\n";
    });
    return text + "</table>\n";
}

namespace {

// Where the table between the markers starts and ends.
bool tableSpan(const std::string& text, std::size_t& from, std::size_t& to)
{
    const std::size_t begin = text.find(kBeginMarker);
    if (begin == std::string::npos)
        return false;
    from = text.find('\n', begin);
    to = text.find(kEndMarker, from == std::string::npos ? begin : from);
    if (from == std::string::npos || to == std::string::npos)
        return false;
    ++from;
    return true;
}

}  // namespace

bool replaceTable(std::string& text, const std::string& table)
{
    std::size_t from = 0, to = 0;
    if (!tableSpan(text, from, to))
        return false;
    text.replace(from, to - from, table);
    return true;
}

std::string tableIn(const std::string& text)
{
    std::size_t from = 0, to = 0;
    return tableSpan(text, from, to) ? text.substr(from, to - from) : std::string();
}

}  // namespace rdxgw
