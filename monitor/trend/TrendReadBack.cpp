#include "trend/TrendReadBack.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "logging/CsvFormat.h"

namespace rdxmon {

namespace {

constexpr qint64 kBlockBytes = 256 * 1024;
// No row of a log is anywhere near this long (186 fields); a file without
// line ends is no log.
constexpr qint64 kLongestLine = 64 * 1024;
constexpr float kNoReading = std::numeric_limits<float>::quiet_NaN();

// Takes the lines of a log from its end back; dates the rows.
class BackwardRows {
public:
    BackwardRows(const QDateTime& lastWritten, qint64 fromMs)
        : fromMs_(fromMs), day_(lastWritten.date()),
          // The newest row was written at most a moment before the change.
          later_(QTime(0, 0).secsTo(lastWritten.time()) + 2)
    {}

    // False once the rows before fromMs, or the header, are reached.
    bool take(QByteArrayView line)
    {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            return true;
        const qsizetype comma = line.indexOf(',');
        const int seconds = csvRowSeconds(comma < 0 ? line : line.first(comma));
        if (seconds < 0)
            return !line.startsWith("\"CH Name\"");  // a damaged row is passed over
        if (seconds > later_)
            day_ = day_.addDays(-1);
        later_ = seconds;
        const qint64 ms = QDateTime(day_, QTime(0, 0).addSecs(seconds)).toMSecsSinceEpoch();
        if (ms < fromMs_)
            return false;
        LogRow row;
        row.ms = ms;
        if (comma >= 0) {
            QByteArrayView rest = line.sliced(comma + 1);
            for (;;) {
                const qsizetype next = rest.indexOf(',');
                const QByteArrayView field = next < 0 ? rest : rest.first(next);
                bool ok = false;
                const float v = field.isEmpty() ? kNoReading : field.toFloat(&ok);
                row.values.push_back(ok && std::isfinite(v) ? v : kNoReading);
                if (next < 0)
                    break;
                rest = rest.sliced(next + 1);
            }
        }
        rows.push_back(std::move(row));
        return true;
    }

    std::vector<LogRow> rows;  // newest first

private:
    qint64 fromMs_;
    QDate day_;
    int later_;
};

}  // namespace

std::vector<LogRow> readLogRows(const QString& path, const QDateTime& lastWritten, qint64 fromMs)
{
    BackwardRows reader(lastWritten, fromMs);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    qint64 pos = file.size();
    QByteArray carry;  // the start of a line; its end was in the block after
    bool done = false;
    while (!done && pos > 0 && carry.size() <= kLongestLine) {
        const qint64 n = std::min(kBlockBytes, pos);
        pos -= n;
        if (!file.seek(pos))
            break;
        QByteArray buffer = file.read(n);
        if (buffer.size() != n)
            break;
        buffer += carry;
        qsizetype end = buffer.size();
        for (;;) {
            const qsizetype lineEnd = end > 0 ? buffer.lastIndexOf('\n', end - 1) : -1;
            if (lineEnd < 0 && pos > 0)
                break;  // the line may begin in the block before
            const qsizetype start = lineEnd + 1;
            if (!reader.take(QByteArrayView(buffer.constData() + start, end - start))) {
                done = true;
                break;
            }
            if (lineEnd < 0)
                break;
            end = lineEnd;
        }
        carry = buffer.left(end);
    }
    std::reverse(reader.rows.begin(), reader.rows.end());
    return std::move(reader.rows);
}

ReadBack readBackLogs(const QString& folder, const QDateTime& now, int recorders, TrendHistory& history)
{
    ReadBack result;
    const qint64 fromMs = now.toMSecsSinceEpoch() - TrendHistory::kSpanMs;
    const QDateTime since = QDateTime::fromMSecsSinceEpoch(fromMs);
    std::vector<std::vector<LogRow>> files;
    const QFileInfoList logs = QDir(folder).entryInfoList({QStringLiteral("*.csv")}, QDir::Files);
    for (const QFileInfo& log : logs) {
        if (log.lastModified() < since)
            continue;
        std::vector<LogRow> rows = readLogRows(log.filePath(), log.lastModified(), fromMs);
        if (!rows.empty())
            files.push_back(std::move(rows));
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.front().ms < b.front().ms; });

    const int slots = std::clamp(recorders, 1, kSlotCount);
    const auto breakAll = [&](qint64 ms) {
        for (int s = 0; s < slots; ++s)
            history.addMiss(s, ms);
    };
    qint64 lastMs = 0;
    for (const std::vector<LogRow>& rows : files) {
        // The file's usual cycle: the median pause between its rows.
        std::vector<qint64> gaps;
        for (std::size_t i = 1; i < rows.size(); ++i)
            gaps.push_back(rows[i].ms - rows[i - 1].ms);
        qint64 longest = std::numeric_limits<qint64>::max();
        if (!gaps.empty()) {
            std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
            longest = gaps[gaps.size() / 2] * 5 / 2 + 1000;
        }
        bool taken = false;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const LogRow& row = rows[i];
            if (row.ms <= lastMs)
                continue;  // files that overlap: the first one's rows stand
            if (i > 0 && row.ms - rows[i - 1].ms > longest)
                breakAll(rows[i - 1].ms + 1);
            for (int s = 0; s < slots; ++s) {
                std::array<float, kChannelsPerSlot> values{};
                quint8 read = 0;
                for (int c = 0; c < kChannelsPerSlot; ++c) {
                    const auto column = static_cast<std::size_t>(s * kChannelsPerSlot + c);
                    if (column >= row.values.size() || std::isnan(row.values[column]))
                        continue;
                    values[static_cast<std::size_t>(c)] = row.values[column];
                    read |= static_cast<quint8>(1u << c);
                }
                history.addReply(s, row.ms, values, read);
            }
            if (result.fromMs == 0 || row.ms < result.fromMs)
                result.fromMs = row.ms;
            ++result.rows;
            lastMs = row.ms;
            taken = true;
        }
        if (taken) {
            breakAll(lastMs + 1);
            ++result.files;
        }
    }
    return result;
}

}  // namespace rdxmon
