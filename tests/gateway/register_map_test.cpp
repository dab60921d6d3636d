// The register map: one value per address, the documents' tables made from
// it, the ranges a request may read; what a snapshot of the shared state
// holds and the registers and bits it gives.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "RegisterImage.h"
#include "RegisterMap.h"
#include "Snapshot.h"
#include "status/LineStatus.h"

using namespace rdxgw;
using rdxalarm::AlarmLimit;
using rdxalarm::AlarmState;
using rdxmon::PvState;

namespace {

std::string sourceFile(const std::string& path)
{
    std::ifstream in(std::string(RDX_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Image {
    std::vector<std::uint16_t> registers = std::vector<std::uint16_t>(extent(Table::InputRegisters));
    std::vector<std::uint8_t> bits = std::vector<std::uint8_t>(extent(Table::DiscreteInputs));
    Image(const Snapshot& s, qint64 agedMs, WordOrder order) { fillImage(s, agedMs, order, registers, bits); }
    std::uint32_t word32(int at) const { return std::uint32_t(registers[at]) << 16 | registers[at + 1]; }
};

class FakeAlarms : public rdxalarm::AlarmStates {
public:
    AlarmState limitState(int channel, AlarmLimit limit) const override
    {
        return channel == 7 && limit == AlarmLimit::High    ? AlarmState::ActiveUnacknowledged
            : channel == 7 && limit == AlarmLimit::LowLow   ? AlarmState::ReturnedUnacknowledged
            : channel == 9 && limit == AlarmLimit::HighHigh ? AlarmState::ActiveAcknowledged
                                                            : AlarmState::Normal;
    }
    AlarmState communicationState(int slot) const override
    {
        return slot == 2 ? AlarmState::ActiveAcknowledged : AlarmState::Normal;
    }
};

}  // namespace

TEST(RegisterMap, EveryAddressHoldsOneValue)
{
    std::map<std::pair<Table, int>, int> users;
    for (const MapEntry& e : kRegisterMap)
        for (int i = 0; i < itemCount(e.item); ++i)
            for (int j = 0; j < e.subs; ++j)
                for (int w = 0; w < width(e.kind); ++w)
                    ++users[{e.table, address(e, i, j) + w}];
    for (const auto& [where, count] : users)
        EXPECT_EQ(count, 1) << "address " << where.second;
    EXPECT_EQ(extent(Table::InputRegisters), 2248);
    EXPECT_EQ(extent(Table::DiscreteInputs), 2062);
}

TEST(RegisterMap, TheReadmeAndTheHelpShowTheTableTheCodeServes)
{
    EXPECT_EQ(tableIn(sourceFile("README.md")), markdownTable())
        << "run: build/bin/rdxgw-map --update README.md docs/help/modbus.html";
    EXPECT_EQ(tableIn(sourceFile("docs/help/modbus.html")), htmlTable())
        << "run: build/bin/rdxgw-map --update README.md docs/help/modbus.html";
}

TEST(RegisterMap, ARequestMayReadOnlyWhatTheMapHolds)
{
    const struct {
        Table table;
        int first, count;
        bool inside;
    } cases[] = {
        {Table::InputRegisters, 0, 125, true},    {Table::InputRegisters, 370, 2, true},
        {Table::InputRegisters, 370, 3, false},   {Table::InputRegisters, 999, 1, false},
        {Table::InputRegisters, 1000, 186, true}, {Table::InputRegisters, 1185, 2, false},
        {Table::InputRegisters, 2000, 248, true}, {Table::InputRegisters, 2247, 2, false},
        {Table::DiscreteInputs, 0, 1488, true},   {Table::DiscreteInputs, 1488, 1, false},
        {Table::DiscreteInputs, 2000, 62, true},  {Table::DiscreteInputs, 1999, 2, false},
        {Table::InputRegisters, 65535, 1, false}, {Table::InputRegisters, 0, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(inMap(c.table, c.first, c.count), c.inside) << int(c.table) << " " << c.first << "+" << c.count;
}

TEST(Snapshot, QualityValuesFiguresAndAlarmsOfTheSharedState)
{
    rdxmon::SharedState state;
    const struct {
        PvState pv;
        std::int16_t logSel;
        Quality quality;
    } channels[] = {
        {PvState::Current, 1, Quality::Current},     {PvState::Stale, 1, Quality::Stale},
        {PvState::NoReading, 1, Quality::NoReading}, {PvState::Skipped, 1, Quality::Skipped},
        {PvState::Current, 0, Quality::NotLogged},
    };
    for (int k = 0; k < 5; ++k) {
        state.gPvState[k] = channels[k].pv;
        state.gChannel[k].LogSel = channels[k].logSel;
        state.gPvValue[k] = 1.5f + float(k);
    }
    const QDateTime t0 = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000);
    rdxmon::LineStatus line(3);
    line.replyTaken(1, t0);
    line.pollMissed(1, t0.addMSecs(500), rdxmon::MissReason::NoReply);
    line.pollMissed(1, t0.addMSecs(900), rdxmon::MissReason::Garbled);
    line.replyTaken(1, t0.addMSecs(1000));
    const FakeAlarms alarms;

    const Snapshot s = takeSnapshot(state, line, &alarms, t0.addMSecs(1234));
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(s.quality[k], channels[k].quality) << k;
        EXPECT_EQ(std::isnan(s.value[k]), channels[k].quality != Quality::Current) << k;
    }
    EXPECT_EQ(s.value[0], 1.5f);
    EXPECT_EQ(s.quality[185], Quality::NoReading);
    EXPECT_EQ(s.takenMs, t0.toMSecsSinceEpoch() + 1234);
    EXPECT_EQ(s.recorders[1].lastReplyMs, t0.toMSecsSinceEpoch() + 1000);
    EXPECT_EQ(s.recorders[1].answered, 2u);
    EXPECT_EQ(s.recorders[1].missed, 1u);
    EXPECT_EQ(s.recorders[1].garbled, 1u);
    EXPECT_EQ(s.recorders[0].lastReplyMs, -1);
    EXPECT_EQ(s.limits[7][1], AlarmState::ActiveUnacknowledged);
    EXPECT_EQ(s.communication[2], AlarmState::ActiveAcknowledged);

    // Without alarm states every alarm is normal.
    const Snapshot quiet = takeSnapshot(state, line, nullptr, t0);
    EXPECT_EQ(quiet.limits[7][1], AlarmState::Normal);
    EXPECT_EQ(quiet.communication[2], AlarmState::Normal);
}

TEST(RegisterImage, RegistersAndBitsWhereTheMapPutsThem)
{
    Snapshot s;
    s.takenMs = 50'000;
    s.value[0] = 25.3f;
    s.value[185] = -1.5f;
    s.quality[0] = Quality::Current;
    s.quality[1] = Quality::Stale;
    s.quality[185] = Quality::NotLogged;
    s.recorders[0] = {49'000, 70000, 3, 0x12345678};  // last reply a second before the snapshot
    s.limits[7][1] = AlarmState::ActiveUnacknowledged;
    s.limits[7][3] = AlarmState::ReturnedUnacknowledged;
    s.limits[9][0] = AlarmState::ActiveAcknowledged;
    s.communication[30] = AlarmState::ActiveUnacknowledged;

    const Image high(s, 250, WordOrder::HighFirst);
    EXPECT_EQ(high.word32(0), std::bit_cast<std::uint32_t>(25.3f));
    EXPECT_EQ(high.word32(2), kNoValueBits);  // channel 1 is not current
    EXPECT_EQ(high.word32(370), std::bit_cast<std::uint32_t>(-1.5f));
    EXPECT_EQ(high.registers[1000], 0);
    EXPECT_EQ(high.registers[1001], 1);
    EXPECT_EQ(high.registers[1002], 2);
    EXPECT_EQ(high.registers[1185], 4);
    EXPECT_EQ(high.word32(2000), 12u);  // 1.25 s in tenths
    EXPECT_EQ(high.word32(2002), 70000u);
    EXPECT_EQ(high.word32(2004), 3u);
    EXPECT_EQ(high.word32(2006), 0x12345678u);
    EXPECT_EQ(high.word32(2008), kNoReplyAge);  // recorder 02 never answered

    // Channel 7: high active and unacknowledged, low-low returned but not
    // acknowledged; channel 9: high-high active, acknowledged.
    std::vector<int> set;
    for (int a = 0; a < int(high.bits.size()); ++a)
        if (high.bits[a])
            set.push_back(a);
    EXPECT_EQ(set, (std::vector<int>{8 * 7 + 1, 8 * 7 + 4 + 1, 8 * 7 + 4 + 3, 8 * 9 + 0, 2060, 2061}));

    const Image low(s, 250, WordOrder::LowFirst);
    EXPECT_EQ(low.registers[0], high.registers[1]);
    EXPECT_EQ(low.registers[1], high.registers[0]);
    EXPECT_EQ(low.registers[2006], 0x5678);
    EXPECT_EQ(low.registers[1000], high.registers[1000]);
}
