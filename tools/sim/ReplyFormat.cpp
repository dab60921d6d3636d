#include "ReplyFormat.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>

namespace rdxsim {

namespace {

// A well-mixed 64-bit hash, so noise is a pure function of its inputs.
std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

std::string twoDigits(int n)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", ((n % 100) + 100) % 100);
    return text;
}

}  // namespace

ChannelProfile channelProfile(int channel)
{
    static constexpr ChannelProfile kProfiles[6] = {
        {25.0, 15.0, 600.0, 0.05, 1},  // temperature-like, one decimal
        {0.0, 4.5, 300.0, 0.01, 2},  // swings through zero, two decimals
        {500.0, 400.0, 900.0, 2.0, 0},  // whole numbers
        {50.0, 30.0, 1200.0, 0.2, -1},  // no decimal tag
        {-15.0, 20.0, 450.0, 0.1, 1},  // mostly negative
        {1.0, 0.8, 200.0, 0.005, 2},
    };
    const int index = ((channel - 1) % 6 + 6) % 6;
    return kProfiles[index];
}

char checkCharacter(const std::string& lineBody)
{
    unsigned sum = 0;
    for (unsigned char c : lineBody)
        sum += c;
    return static_cast<char>('0' + sum % 64);
}

std::string buildLine(char kind, int address, char widthCode, int lineNumber, const std::string& data)
{
    std::string line;
    line += kind;
    line += twoDigits(address);
    line += widthCode;
    line += twoDigits(lineNumber);
    line += "  ";
    line += data;
    line += checkCharacter(line);
    line += "\r\n";
    return line;
}

ReplyGenerator::ReplyGenerator(ReplySettings settings) : settings_(settings) {}

bool ReplyGenerator::skipped(int address, int channel) const
{
    return settings_.skipEvery > 0 && channel == settings_.skipChannel && address % settings_.skipEvery == 0;
}

double ReplyGenerator::value(int address, int channel, std::int64_t timeMs, std::uint32_t sequence) const
{
    const ChannelProfile p = channelProfile(channel);
    const double phase = (address * 7 + channel) * 0.9;
    const double seconds = static_cast<double>(timeMs) / 1000.0;
    const double wave = std::sin(2.0 * std::numbers::pi * seconds / p.periodSeconds + phase);
    const std::uint64_t h
        = mix(settings_.seed ^ mix((std::uint64_t(address) << 40) ^ (std::uint64_t(channel) << 32) ^ sequence));
    const double unit = static_cast<double>(h >> 11) / 9007199254740992.0;  // [0, 1)
    return p.center + p.amplitude * wave + p.noise * (2.0 * unit - 1.0);
}

std::string ReplyGenerator::valueField(int address, int channel, std::int64_t timeMs, std::uint32_t sequence) const
{
    if (skipped(address, channel))
        return std::string(10, ' ');
    const ChannelProfile p = channelProfile(channel);
    const double v = value(address, channel, timeMs, sequence);
    char text[64];
    if (p.decimals < 0) {
        std::snprintf(text, sizeof text, "%-10.2f", v);
        return std::string(text).substr(0, 10);
    }
    // Seven places hold the value, three the decimal tag.
    static constexpr double kHigh[3] = {9999999.0, 99999.9, 9999.99};
    static constexpr double kLow[3] = {-999999.0, -9999.9, -999.99};
    const double clamped = std::fmax(kLow[p.decimals], std::fmin(kHigh[p.decimals], v));
    std::snprintf(text, sizeof text, "%7.*f-%02d", p.decimals, clamped, p.decimals);
    return text;
}

std::vector<std::string> ReplyGenerator::reply(int address, int count, std::int64_t timeMs, std::int64_t wallMs,
                                               std::uint32_t sequence) const
{
    const std::time_t seconds = static_cast<std::time_t>(wallMs / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char date[48], time[48], seq[16], channels[16];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::snprintf(seq, sizeof seq, "%08u", static_cast<unsigned>(sequence % 100000000));
    std::snprintf(channels, sizeof channels, "CH=%-5s", twoDigits(count).c_str());

    std::vector<std::string> lines;
    lines.push_back(buildLine('I', address, '!', 0, "RDX-512 No." + twoDigits(address) + "   " + date));
    lines.push_back(buildLine('T', address, '!', 1, std::string(seq) + time + channels));
    for (int c = 1; c <= count; ++c) {
        const bool skip = skipped(address, c);
        char tag[16];
        std::snprintf(tag, sizeof tag, "C%02d    ", c % 100);
        lines.push_back(buildLine(skip ? 'S' : 'N', address, ' ', 1 + c,
                                  tag + valueField(address, c, timeMs, sequence) + (skip ? "---" : "OK ")));
    }
    return lines;
}

std::string ReplyGenerator::extraLine(int address, int lineNumber) const
{
    return buildLine('X', address, ' ', lineNumber, "EXTRA LINE  ");
}

}  // namespace rdxsim
