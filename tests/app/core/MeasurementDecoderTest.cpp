#include "app/core/MeasurementDecoder.h"
#include "app/core/MemoryView.h"
#include "logging/LOGFile.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <random>

using namespace glowkite;
using glowkite::test::ReadFile;
using glowkite::test::TempDir;

namespace {

const std::string L1 = "05.03.2012 14:07:09";
const std::string L2 = "05.03.2012 14:07:10";
const std::string L3 = "05.03.2012 14:07:11";

struct Decoder {
    TMemoryView view;
    TMeasurementDecoder dec{view, nullptr};

    const TSeriesStore &S(TSeries s) const { return view.Series(s); }
    int Count() const { return view.PointCount(TSeries::Status); }
};

void ExpectSeriesEqualLength(const TMemoryView &v)
{
    const int n = v.PointCount(TSeries::AQ);
    for (int s = 1; s < SeriesCount; ++s)
        EXPECT_EQ(v.PointCount(static_cast<TSeries>(s)), n) << SeriesTitle(static_cast<TSeries>(s));
}

} // namespace

TEST(ByteToHex, TwoUpperCaseDigitsHighNibbleFirst)
{
    EXPECT_EQ(ByteToHex(0x0A), "0A");
    EXPECT_EQ(ByteToHex(0x00), "00");
    EXPECT_EQ(ByteToHex(0xFF), "FF");
    EXPECT_EQ(ByteToHex(0xA1), "A1");
    EXPECT_EQ(ByteToHex(0x3C), "3C");
}

TEST(StatusWords, WordsAndLevelsOfTheFlagTable)
{
    EXPECT_EQ(StatusWords(0x00).words, "Normal");
    EXPECT_EQ(StatusWords(0x00).level, 0);
    EXPECT_EQ(StatusWords(0x01).words, "Alarm ");
    EXPECT_EQ(StatusWords(0x01).level, 80);
    EXPECT_EQ(StatusWords(0x03).words, "Alarm ;St\xF6rung ");
    EXPECT_EQ(StatusWords(0x03).level, 60);
    EXPECT_EQ(StatusWords(0x81).level, 85);
    EXPECT_EQ(StatusWords(0x14).words, ";unbekannt;SystemReset ");
    EXPECT_EQ(StatusWords(0x14).level, 35);
    EXPECT_EQ(StatusWords(0xFF).words,
              "Alarm ;St\xF6rung ;unbekannt;Latch mode ;SystemReset ;Strahl Justierung "
              ";Manuelle Justierung ;Abgleich ");
    EXPECT_EQ(StatusWords(0xFF).level, 130);
    EXPECT_EQ(StatusWords(0xFD).level, 150); // the highest level: bits 0 and 2 to 7
    EXPECT_EQ(StatusWords(0x02).words, ";St\xF6rung ");
}

TEST(Scaling, ContaminationRoundsHalvesToEven)
{
    EXPECT_EQ(ScaleGain(128), 0);
    EXPECT_EQ(ScaleGain(0), -13);
    EXPECT_EQ(ScaleGain(255), 13);
    EXPECT_EQ(ScaleGain(153), 2);  // 2.5
    EXPECT_EQ(ScaleGain(163), 4);  // 3.5
    EXPECT_EQ(ScaleGain(123), 0);  // -0.5
    EXPECT_EQ(ScaleGain(113), -2); // -1.5
    EXPECT_EQ(ScaleGain(103), -2); // -2.5
    EXPECT_EQ(ScaleGain(140), 1);  // 1.2
    EXPECT_EQ(ScaleGain(147), 2);  // 1.9
    // 16-bit arithmetic: -32768 - 128 wraps to 32640.
    EXPECT_EQ(ScaleGain(-32768), 3264);
}

TEST(Scaling, PositionsOfBothProtocols)
{
    EXPECT_DOUBLE_EQ(static_cast<double>(ScalePosition(400, true)), 5.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(ScalePosition(115, false)), 5.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(ScalePosition(-400, true)), -5.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(ScalePosition(-200, true)), -2.5);
    EXPECT_NEAR(static_cast<double>(ScalePosition(23, false)), 1.0, 1e-15);
}

TEST(AddMeasurement, WorkedExampleOfTheOldProtocol)
{
    Decoder d;
    d.dec.GlowkiteVersion = true;
    d.dec.AddMeasurement(L1, 42, 0x01, 400, -200, 140);

    ASSERT_EQ(d.Count(), 1);
    EXPECT_EQ(d.S(TSeries::AQ).Value(0), 42);
    EXPECT_EQ(d.S(TSeries::AQ).Label(0), L1);
    EXPECT_EQ(d.S(TSeries::AQ).Color(0), clAQ);
    EXPECT_EQ(d.S(TSeries::Status).Value(0), 80);
    EXPECT_EQ(d.S(TSeries::Status).Label(0), L1);
    EXPECT_EQ(d.S(TSeries::Status).Color(0), clStatus);
    EXPECT_EQ(d.S(TSeries::XPos).Value(0), 5.0);
    EXPECT_EQ(d.S(TSeries::XPos).Label(0), "");
    EXPECT_EQ(d.S(TSeries::XPos).Color(0), clXPos);
    EXPECT_EQ(d.S(TSeries::YPos).Value(0), -2.5);
    EXPECT_EQ(d.S(TSeries::YPos).Color(0), clYPos);
    EXPECT_EQ(d.S(TSeries::Gain).Value(0), 1);
    EXPECT_EQ(d.S(TSeries::Gain).Color(0), clGain);

    ASSERT_EQ(d.view.statusLines.size(), 1u);
    EXPECT_EQ(d.view.statusLines[0], L1 + "  01   Alarm ");
    EXPECT_EQ(d.view.statusLines[0].substr(21, 2), "01"); // columns 22 and 23
    EXPECT_EQ(d.view.statusLines[0].substr(26), "Alarm "); // words from column 27
    EXPECT_EQ(d.dec.LastStatus, 1);
    EXPECT_EQ(d.dec.LastLabel, L1);
    EXPECT_TRUE(d.dec.LastPlotted);
}

TEST(AddMeasurement, AqAbove119IsClampedInTheLighterBlue)
{
    Decoder d;
    d.dec.AllData2Chart = false; // only changes are plotted
    d.dec.AddMeasurement(L1, 119, 0, 0, 0, 128);
    EXPECT_EQ(d.S(TSeries::AQ).Value(0), 119);
    EXPECT_EQ(d.S(TSeries::AQ).Color(0), clAQ);

    d.dec.AddMeasurement(L2, 120, 0, 0, 0, 128);
    EXPECT_EQ(d.S(TSeries::AQ).Value(1), 119);
    EXPECT_EQ(d.S(TSeries::AQ).Color(1), clAQClamped);
    EXPECT_EQ(d.dec.LastAQ, 119);

    // While AQ stays above 119 every measurement counts as a change.
    d.dec.AddMeasurement(L3, 255, 0, 0, 0, 128);
    d.dec.AddMeasurement(L3, 255, 0, 0, 0, 128);
    ASSERT_EQ(d.Count(), 4);
    EXPECT_EQ(d.S(TSeries::AQ).Value(3), 119);
    EXPECT_EQ(d.S(TSeries::AQ).Color(3), clAQClamped);
}

TEST(AddMeasurement, FirstMeasurementIsDecodedUnlessItsFlagsAre255)
{
    Decoder a;
    a.dec.AddMeasurement(L1, 10, 0x00, 0, 0, 128);
    ASSERT_EQ(a.view.statusLines.size(), 1u);
    EXPECT_EQ(a.view.statusLines[0], L1 + "  00   Normal");

    Decoder b;
    b.dec.AddMeasurement(L1, 10, 0xFF, 0, 0, 128);
    EXPECT_TRUE(b.view.statusLines.empty());
    EXPECT_EQ(b.Count(), 1); // still plotted: it is due
}

TEST(AddMeasurement, EveryIntervallThMeasurementAndEveryChangeArePlotted)
{
    Decoder d; // AllData2Chart true, Intervall 60
    for (int i = 0; i < 181; ++i)
        d.dec.AddMeasurement(L1, 20, 0, 0, 0, 128);
    // Measurements 0, 60, 120 and 180.
    EXPECT_EQ(d.Count(), 4);
    EXPECT_EQ(d.dec.MeasureCount, 181);

    d.dec.AddMeasurement(L2, 21, 0, 0, 0, 128); // AQ change
    d.dec.AddMeasurement(L2, 21, 2, 0, 0, 128); // status change
    d.dec.AddMeasurement(L2, 21, 2, 500, 0, 0); // X and contamination never count
    EXPECT_EQ(d.Count(), 6);
    EXPECT_EQ(d.view.statusLines.size(), 2u);
    ExpectSeriesEqualLength(d.view);
}

TEST(AddMeasurement, ChangesOnlyAddsHoldPointsBeforeAChange)
{
    Decoder d;
    d.dec.AllData2Chart = false;
    d.dec.GlowkiteVersion = true;
    d.dec.AddMeasurement(L1, 30, 0x00, 400, 0, 138); // first: a change of the status
    EXPECT_EQ(d.Count(), 1); // no hold point of zeros in front of the very first point
    d.dec.AddMeasurement(L2, 30, 0x00, 800, 0, 128); // equal: left out
    d.dec.AddMeasurement(L2, 30, 0x00, 800, 0, 128); // equal: left out
    EXPECT_EQ(d.Count(), 1);
    EXPECT_FALSE(d.dec.LastPlotted);

    d.dec.AddMeasurement(L3, 31, 0x00, 0, 0, 128); // a change: hold point, then its own point
    ASSERT_EQ(d.Count(), 3);
    // The hold point repeats the last plotted values with the label of the
    // measurement just before the change.
    EXPECT_EQ(d.S(TSeries::AQ).Value(1), 30);
    EXPECT_EQ(d.S(TSeries::AQ).Label(1), L2);
    EXPECT_EQ(d.S(TSeries::AQ).Color(1), clAQ);
    EXPECT_EQ(d.S(TSeries::Status).Value(1), 0);
    EXPECT_EQ(d.S(TSeries::Status).Label(1), "");
    EXPECT_EQ(d.S(TSeries::XPos).Value(1), 5.0);
    EXPECT_EQ(d.S(TSeries::Gain).Value(1), 1);
    // Every series keeps its own colour in the hold point.
    EXPECT_EQ(d.S(TSeries::Status).Color(1), clStatus);
    EXPECT_EQ(d.S(TSeries::XPos).Color(1), clXPos);
    EXPECT_EQ(d.S(TSeries::YPos).Color(1), clYPos);
    EXPECT_EQ(d.S(TSeries::Gain).Color(1), clGain);
    EXPECT_EQ(d.S(TSeries::AQ).Value(2), 31);
    EXPECT_EQ(d.S(TSeries::AQ).Label(2), L3);

    // Two changes in a row: no hold point between them.
    d.dec.AddMeasurement(L3, 32, 0x00, 0, 0, 128);
    EXPECT_EQ(d.Count(), 4);
    ExpectSeriesEqualLength(d.view);
}

TEST(AddMeasurement, HoldPointCarriesTheOldStatusLevel)
{
    Decoder d;
    d.dec.AllData2Chart = false;
    d.dec.AddMeasurement(L1, 30, 0x01, 0, 0, 128); // Alarm, level 80
    d.dec.AddMeasurement(L2, 30, 0x01, 0, 0, 128); // left out
    d.dec.AddMeasurement(L3, 30, 0x00, 0, 0, 128); // back to normal
    ASSERT_EQ(d.Count(), 3);
    EXPECT_EQ(d.S(TSeries::Status).Value(1), 80);
    EXPECT_EQ(d.S(TSeries::Status).Value(2), 0);
    ASSERT_EQ(d.view.statusLines.size(), 2u);
    EXPECT_EQ(d.view.statusLines[1], L3 + "  00   Normal");
}

TEST(ClearData, EmptiesTheDisplayButKeepsTheLastStatus)
{
    Decoder d;
    d.dec.AddMeasurement(L1, 50, 0x02, 0, 0, 128);
    d.view.AppendHexLine("some frame");
    d.dec.ClearData();
    EXPECT_EQ(d.Count(), 0);
    EXPECT_TRUE(d.view.statusLines.empty());
    EXPECT_TRUE(d.view.hexLines.empty());
    EXPECT_EQ(d.view.countText, "Anzahl der Messwerte: 0");
    EXPECT_EQ(d.view.undoZoomCalls, 1);
    EXPECT_EQ(d.dec.MeasureCount, 0);
    EXPECT_EQ(d.dec.LastStatus, 0x02);

    // The next unchanged measurement is due, so it is plotted, but its
    // status is not repeated in the status pane.
    d.dec.AddMeasurement(L2, 50, 0x02, 0, 0, 128);
    EXPECT_EQ(d.Count(), 1);
    EXPECT_TRUE(d.view.statusLines.empty());

    Decoder c;
    c.dec.AllData2Chart = false;
    c.dec.AddMeasurement(L1, 50, 0x02, 0, 0, 128);
    c.dec.ClearData();
    c.dec.AddMeasurement(L2, 50, 0x02, 0, 0, 128);
    EXPECT_EQ(c.Count(), 0);
}

TEST(AddMeasurement, IntervallBelowOneIsTakenAs60)
{
    for (int bad : {0, -1, -60}) {
        Decoder d;
        d.dec.Intervall = bad;
        for (int i = 0; i < 121; ++i)
            d.dec.AddMeasurement(L1, 20, 0, 0, 0, 128);
        EXPECT_EQ(d.Count(), 3) << "Intervall " << bad;
    }
    Decoder one;
    one.dec.Intervall = 1;
    for (int i = 0; i < 7; ++i)
        one.dec.AddMeasurement(L1, 20, 0, 0, 0, 128);
    EXPECT_EQ(one.Count(), 7);
}

TEST(AddMeasurement, SeriesAlwaysHoldTheSameNumberOfPoints)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        Decoder d;
        d.dec.AllData2Chart = round % 2 == 0;
        d.dec.Intervall = 1 + round % 5;
        std::uniform_int_distribution<int> small(0, 3), any(-32768, 32767);
        for (int i = 0; i < 500; ++i) {
            const auto a = static_cast<std::int16_t>(small(rng) == 0 ? any(rng) : 40 + small(rng));
            const auto f = static_cast<std::int16_t>(small(rng) == 0 ? any(rng) : small(rng));
            d.dec.AddMeasurement(L1, a, f, static_cast<std::int16_t>(any(rng)),
                                 static_cast<std::int16_t>(any(rng)), static_cast<std::int16_t>(any(rng)));
            if (i % 97 == 0)
                d.dec.ClearData();
        }
        ExpectSeriesEqualLength(d.view);
        for (int i = 0; i < d.Count(); ++i)
            ASSERT_LE(d.S(TSeries::AQ).Value(i), 119);
    }
}

TEST(UpDateGraph, ShowsOrHidesTheThreeOptionalSeries)
{
    Decoder d;
    d.dec.UpDateGraph();
    EXPECT_TRUE(d.view.Visible(TSeries::AQ));
    EXPECT_FALSE(d.view.Visible(TSeries::XPos));
    EXPECT_FALSE(d.view.Visible(TSeries::YPos));
    EXPECT_FALSE(d.view.Visible(TSeries::Gain));
    d.dec.yPosActive = true;
    d.dec.Gain = true;
    d.dec.UpDateGraph();
    EXPECT_FALSE(d.view.Visible(TSeries::XPos));
    EXPECT_TRUE(d.view.Visible(TSeries::YPos));
    EXPECT_TRUE(d.view.Visible(TSeries::Gain));
}

namespace {
TLogFile MakeStatusLog(const TempDir &dir)
{
    TLogFile log([] { return LocalTime{2012, 3, 5, 14, 7, 12, 0}; });
    log.Directory = dir.path().string() + "/LOG/";
    log.BaseName = "glowKite";
    log.Extension = "log";
    log.SetPeriod(lpMonth);
    log.SetOptions(loTimeMs);
    return log;
}
} // namespace

TEST(DecodeStatus, WritesTheStatusLineToTheMonthlyLogInWindows1252)
{
    TempDir dir;
    TLogFile log = MakeStatusLog(dir);
    TMemoryView view;
    TMeasurementDecoder dec(view, &log);
    dec.AddMeasurement("05.03.2012 14:07:12", 10, 0x03, 0, 0, 128);
    dec.AddMeasurement("05.03.2012 14:07:13", 10, 0x03, 0, 0, 128); // unchanged: no line
    dec.AddMeasurement("05.03.2012 14:07:14", 10, 0x00, 0, 0, 128);

    const std::string logged = "05.03.2012 14:07:12  03   Alarm ;St\xF6rung \r\n"
                               "05.03.2012 14:07:14  00   Normal\r\n";
    EXPECT_EQ(ReadFile(dir / "LOG/glowKite_1203.log"), logged);

    // A replay shows the status lines but does not log them.
    dec.LogStatusChanges = false;
    dec.AddMeasurement("04.03.2012 09:00:00", 10, 0x01, 0, 0, 128);
    EXPECT_EQ(view.statusLines.size(), 3u);
    EXPECT_EQ(ReadFile(dir / "LOG/glowKite_1203.log"), logged);
}

TEST(DecodeStatus, AFailingStatusLogCostsNoPointsAndIsReportedOnce)
{
    TempDir dir;
    TLogFile log = MakeStatusLog(dir);
    log.Directory = dir.path().string() + "/missing/LOG/"; // parent missing: cannot be created
    TMemoryView view;
    TMeasurementDecoder dec(view, &log);

    EXPECT_THROW(dec.AddMeasurement(L1, 10, 0x01, 0, 0, 128), ELogError);
    EXPECT_EQ(view.PointCount(TSeries::AQ), 1);
    ExpectSeriesEqualLength(view);
    EXPECT_EQ(view.statusLines.size(), 1u);
    EXPECT_EQ(dec.LastStatus, 1);
    EXPECT_EQ(dec.LastLabel, L1);

    // The same status again is no change: no second line, no second error.
    EXPECT_NO_THROW(dec.AddMeasurement(L2, 10, 0x01, 0, 0, 128));
    EXPECT_EQ(view.statusLines.size(), 1u);
}
