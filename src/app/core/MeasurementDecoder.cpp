#include "app/core/MeasurementDecoder.h"

#include "app/core/FramePublisher.h"
#include "logging/LOGFile.h"

#include <exception>

namespace glowkite {

const char *SeriesTitle(TSeries s)
{
    switch (s) {
    case TSeries::AQ: return "AQ";
    case TSeries::Status: return "Status";
    case TSeries::XPos: return "X Pos";
    case TSeries::YPos: return "Y Pos";
    case TSeries::Gain: return "Verschmutzung";
    }
    return "";
}

TColor SeriesColor(TSeries s)
{
    switch (s) {
    case TSeries::AQ: return clAQ;
    case TSeries::Status: return clStatus;
    case TSeries::XPos: return clXPos;
    case TSeries::YPos: return clYPos;
    case TSeries::Gain: return clGain;
    }
    return clGain;
}

TStatusWords StatusWords(std::uint8_t f)
{
    // Bit 0 sets the level to 80 and bit 1 to 60 (so a fault replaces the
    // alarm level); the other bits add to it. Bit 0 comes first, so its word
    // "Alarm " is the only one without a leading ";".
    struct Flag {
        bool assigns;
        std::int32_t level;
        const char *word;
    };
    static constexpr Flag flags[8] = {
        {true, 80, "Alarm "},
        {true, 60, ";St\xF6rung "},
        {false, 5, ";unbekannt"},
        {false, 10, ";Latch mode "},
        {false, 30, ";SystemReset "},
        {false, 10, ";Strahl Justierung "},
        {false, 10, ";Manuelle Justierung "},
        {false, 5, ";Abgleich "},
    };
    TStatusWords result;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(f & (1u << bit)))
            continue;
        const Flag &flag = flags[bit];
        result.level = flag.assigns ? flag.level : result.level + flag.level;
        result.words += flag.word;
    }
    if (result.words.empty())
        result.words = "Normal";
    return result;
}

std::int32_t ScaleGain(std::int16_t g)
{
    // The subtraction wraps in 16 bits, as the detector's firmware tools do.
    const std::int32_t v = static_cast<std::int16_t>(static_cast<std::uint16_t>(g) - 128u);
    std::int32_t q = v / 10;
    const std::int32_t r = v % 10; // same sign as v
    const std::int32_t away = v < 0 ? -1 : 1;
    if (r > 5 || r < -5 || ((r == 5 || r == -5) && (q % 2 != 0)))
        q += away;
    return q;
}

std::string CountText(int n)
{
    return "Anzahl der Messwerte: " + std::to_string(n);
}

TMeasurementDecoder::TMeasurementDecoder(IMeasurementView &view, TLogFile *statusLog)
    : view_(view), statusLog_(statusLog)
{
}

void TMeasurementDecoder::AddMeasurement(std::string_view L, std::int16_t a, std::int16_t f,
                                         std::int16_t x, std::int16_t y, std::int16_t g)
{
    const std::int32_t n = MeasureCount;
    const bool due = n % EffectiveIntervall() == 0;
    // Counts on past 2^31 without undefined behaviour (wraps like the 32-bit original).
    MeasureCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) + 1u);

    const bool plotted = (due && AllData2Chart) || f != LastStatus || a != LastAQ;
    if (!plotted) {
        LastPlotted = false;
        LastLabel.assign(L);
        return;
    }

    if (!AllData2Chart && !LastPlotted) {
        // Hold point: keeps the line level up to the last measurement left out.
        view_.AppendPoint(TSeries::AQ, LastAQ, LastLabel, clAQ);
        view_.AppendPoint(TSeries::Status, StatusValue, {}, clStatus);
        view_.AppendPoint(TSeries::XPos, static_cast<double>(LastXPos), {}, clXPos);
        view_.AppendPoint(TSeries::YPos, static_cast<double>(LastYPos), {}, clYPos);
        view_.AppendPoint(TSeries::Gain, LastGain, {}, clGain);
    }

    // A status log that cannot be written must not cost the measurement its
    // points: the frame is already in the day file, so the chart keeps it,
    // and the error is raised once everything else is done.
    std::exception_ptr logError;
    if (f != LastStatus) {
        try {
            DecodeStatus(f, L);
        } catch (...) {
            logError = std::current_exception();
        }
    }

    std::int32_t aq = a;
    if (aq > 119) {
        aq = 119;
        view_.AppendPoint(TSeries::AQ, aq, L, clAQClamped);
    } else {
        view_.AppendPoint(TSeries::AQ, aq, L, clAQ);
    }
    view_.AppendPoint(TSeries::Status, StatusValue, L, clStatus);

    const long double X = ScalePosition(x, GlowkiteVersion);
    const long double Y = ScalePosition(y, GlowkiteVersion);
    const std::int32_t G = ScaleGain(g);
    view_.AppendPoint(TSeries::XPos, static_cast<double>(X), {}, clXPos);
    view_.AppendPoint(TSeries::YPos, static_cast<double>(Y), {}, clYPos);
    view_.AppendPoint(TSeries::Gain, G, {}, clGain);

    LastAQ = aq;
    LastXPos = X;
    LastYPos = Y;
    LastGain = G;
    LastPlotted = true;
    LastLabel.assign(L);

    if (logError)
        std::rethrow_exception(logError);
}

void TMeasurementDecoder::DecodeStatus(std::int16_t f, std::string_view L)
{
    const TStatusWords status = StatusWords(static_cast<std::uint8_t>(f));
    StatusValue = status.level;

    const std::string line = StatusLine(L, static_cast<std::uint8_t>(f), status.words);

    view_.AppendStatusLine(line);
    // The new status is taken before the log is written, so a log failure
    // is reported once and does not repeat the status line for every frame.
    LastStatus = f;
    if (LogStatusChanges && Publisher)
        Publisher->PublishStatusLine(line);
    if (!LogStatusChanges || !statusLog_)
        return;
    try {
        statusLog_->WriteLine(line, lsNone);
    } catch (const std::exception &e) {
        // Told apart from a day file that cannot be written: the frame is stored.
        throw EStatusLogError(statusLog_->CurrentFileName(), e.what());
    }
    ++StatusLinesLogged;
}

void TMeasurementDecoder::ClearData()
{
    view_.ClearSeries();
    view_.ClearPanes();
    ShowCount();
    view_.UndoZoom();
    MeasureCount = 0;
}

void TMeasurementDecoder::UpDateGraph()
{
    view_.SetSeriesVisible(TSeries::XPos, xPosActive);
    view_.SetSeriesVisible(TSeries::YPos, yPosActive);
    view_.SetSeriesVisible(TSeries::Gain, Gain);
}

void TMeasurementDecoder::ShowCount()
{
    view_.SetCountText(CountText(view_.PointCount(TSeries::Status)));
}

} // namespace glowkite
