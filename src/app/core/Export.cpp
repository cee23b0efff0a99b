#include "app/core/Export.h"

#include "app/core/DayReplay.h"
#include "base/Windows1252.h"

#include <charconv>
#include <ostream>

namespace glowkite {

std::string Cp1252ToUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (unsigned char c : s) {
        const char32_t u = Windows1252ToUnicode(c);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

namespace {

class CsvWriter {
public:
    CsvWriter(std::ostream &out, const TCsvStyle &style) : out_(out), style_(style)
    {
        if (style.bom)
            out_ << "\xEF\xBB\xBF";
    }

    CsvWriter &Text(std::string_view cp1252)
    {
        Separate();
        const std::string utf8 = Cp1252ToUtf8(cp1252);
        if (utf8.find_first_of(std::string{style_.separator, '"', '\n', '\r'}) == std::string::npos) {
            row_ += utf8;
            return *this;
        }
        row_ += '"';
        for (char c : utf8) {
            if (c == '"')
                row_ += '"';
            row_ += c;
        }
        row_ += '"';
        return *this;
    }
    CsvWriter &Number(double v)
    {
        Separate();
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        for (char *p = buf; p != r.ptr; ++p)
            row_ += *p == '.' ? style_.decimal : *p;
        return *this;
    }
    void EndRow()
    {
        row_ += "\r\n";
        out_ << row_;
        row_.clear();
        first_ = true;
    }

private:
    void Separate()
    {
        if (!first_)
            row_ += style_.separator;
        first_ = false;
    }

    std::ostream &out_;
    TCsvStyle style_;
    std::string row_;
    bool first_ = true;
};

std::string ColorText(TColor c)
{
    std::string s = "#";
    for (std::uint8_t v : {c.r, c.g, c.b})
        AppendHex(s, v);
    return s;
}

} // namespace

std::int64_t ExportFramesCsv(const std::string &dayFile, std::ostream &out, const TCsvStyle &style,
                             TBadLines *skipped)
{
    TBadLines bad;
    TDayFile file(dayFile);
    CsvWriter csv(out, style);
    for (const char *h : {"Datum Zeit", "Protokoll", "AQ", "Status", "Statusworte", "X Pos", "Y Pos", "Verschmutzung"})
        csv.Text(h);
    csv.EndRow();
    std::int64_t lineNo = 0, rows = 0;
    TStoredFrame f;
    std::string error;
    file.ForEachLine([&](std::string_view line, bool tooLong) {
        ++lineNo;
        if (tooLong) {
            bad.Add(lineNo, "longer than " + std::to_string(MaxStoredLineLength) + " characters");
            return;
        }
        if (!ParseStoredLine(line, f, error)) {
            bad.Add(lineNo, error);
            return;
        }
        ++rows;
        csv.Text(f.label)
            .Text(TProtocol::FromGlowkiteVersion(f.glowkiteVersion).Name())
            .Number(f.aq)
            .Text(ByteToHex(static_cast<std::uint8_t>(f.flags)))
            .Text(StatusWords(static_cast<std::uint8_t>(f.flags)).words)
            .Number(static_cast<double>(ScalePosition(f.x, f.glowkiteVersion)))
            .Number(static_cast<double>(ScalePosition(f.y, f.glowkiteVersion)))
            .Number(ScaleGain(f.gain));
        csv.EndRow();
    });
    if (!out)
        throw EReplayError("Cannot write the export of " + dayFile);
    if (skipped)
        *skipped = std::move(bad);
    return rows;
}

std::int64_t ExportPointsCsv(const IPointSource &points, std::ostream &out, const TCsvStyle &style)
{
    CsvWriter csv(out, style);
    for (const char *h : {"Serie", "Index", "Wert", "Beschriftung", "Farbe"})
        csv.Text(h);
    csv.EndRow();
    std::int64_t rows = 0;
    for (int s = 0; s < SeriesCount; ++s) {
        const auto series = static_cast<TSeries>(s);
        for (int i = 0, n = points.PointCount(series); i < n; ++i, ++rows) {
            csv.Text(SeriesTitle(series))
                .Number(i)
                .Number(points.PointValue(series, i))
                .Text(points.PointLabel(series, i))
                .Text(ColorText(points.PointColor(series, i)));
            csv.EndRow();
        }
    }
    return rows;
}

} // namespace glowkite
