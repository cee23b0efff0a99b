#pragma once
// The chart cht_Data: five series with per-point labels and colours, four
// axes, zoom with one saved state for undo, scrolling and pixel/value
// conversion. The main window and the chart navigation talk only to this
// class; QCustomPlot stays behind it.
//
// Appending a point is cheap: it never redraws. The chart redraws at a
// display rate, and only when something changed.
//
// The mouse: dragging with the left button toward the lower right zooms to
// the rectangle, a drag in any other direction undoes the zoom; dragging
// with the right button pans horizontally; the wheel shifts both vertical
// axes by 3/100 of their range per step.

#include "app/core/MeasurementView.h"
#include "app/ui/PointSeries.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>
#include <QRect>

#include <array>
#include <memory>
#include <optional>
#include <string_view>

class QCustomPlot;
class QCPAxis;
class QCPAxisRect;
class QMouseEvent;
class QRubberBand;
class QTimer;
class QWheelEvent;

namespace glowkite {

enum class TChartAxis : int { Bottom = 0, Top, Left, Right };
inline constexpr int ChartAxisCount = 4;

struct TAxisRange {
    double min = 0;
    double max = 0;
    friend bool operator==(const TAxisRange &, const TAxisRange &) = default;
};

inline constexpr TAxisRange LeftAxisRange{-1, 120};
inline constexpr TAxisRange RightAxisRange{-6.01, 6};

class TChartAdapter : public QObject {
    Q_OBJECT
public:
    // Redraws this soon after a change the user made (25 Hz).
    static constexpr int ReplotIntervalMs = 40;
    // New points alone redraw at most this often: each shows as a step of
    // its own (10 Hz) ...
    static constexpr int LiveReplotIntervalMs = 100;
    // ... and this often once the view holds DensePointsPerColumn or more
    // points per pixel column, where a new point moves the picture by less
    // than a pixel (4 Hz). A full day at line rate would otherwise spend most
    // of the program's time redrawing what the eye cannot tell apart.
    static constexpr int DenseLiveReplotIntervalMs = 250;
    static constexpr double DensePointsPerColumn = 2.0;
    // ... and once a second with OverviewPointsPerColumn or more, where at
    // the line rate a new column begins only every half second or less often
    // (an hour or a day in view).
    static constexpr int OverviewLiveReplotIntervalMs = 1000;
    static constexpr double OverviewPointsPerColumn = 64.0;

    explicit TChartAdapter(QWidget *parent = nullptr);
    ~TChartAdapter() override;

    // The chart control, for layouts and for controls placed on the chart.
    QWidget *Widget() const;

    // Series. A point's x value is its index; labels are Windows-1252.
    void Append(TSeries s, double value, std::string_view label, TColor color);
    void Clear();
    int Count(TSeries s) const;
    double Value(TSeries s, int i) const;
    std::string_view Label(TSeries s, int i) const;
    // Index of the first point of s whose label equals text, or -1.
    int FindLabel(TSeries s, std::string_view text) const;
    // A hidden series goes on receiving points.
    void SetVisible(TSeries s, bool visible);
    bool IsVisible(TSeries s) const;
    // The colour of point i of s.
    TColor Color(TSeries s, int i) const;
    // The chart as shown, as a PDF file (name ending in .pdf) or PNG image.
    bool SaveImage(const QString &fileName);
    // Points of s that are drawn in another colour than the series colour
    // (the segment leading to such a point takes its colour).
    int AccentPointCount(TSeries s, TColor color) const;
    // The points of s, and what the last redraw drew of them.
    const TPointSeries &Points(TSeries s) const;
    const TDrawing &Drawn(TSeries s) const;
    // Memory held by the points of all series, in bytes.
    std::size_t ByteSize() const;

    // Axes. Setting a range switches the axis's automatic scaling off.
    TAxisRange Range(TChartAxis a) const;
    void SetRange(TChartAxis a, TAxisRange r);
    // While on, the bottom and top axes show all points (0 .. count - 1)
    // and the vertical axes the values of their shown series.
    bool Automatic(TChartAxis a) const;
    void SetAutomatic(TChartAxis a, bool on);
    // Adds offset to both ends of the axis's range, without limits;
    // switches its automatic scaling off and saves nothing for undo.
    void Scroll(TChartAxis a, double offset);

    // Pixel positions are widget coordinates of Widget().
    double BottomValueToPixel(double value) const;
    double LeftValueToPixel(double value) const;
    double PixelToBottomValue(double x) const;
    double PixelToLeftValue(double y) const;
    // The bottom-axis value under the mouse cursor.
    double MouseBottomValue() const;

    // Zoom to a rectangle of pixels: saves the ranges and automatic
    // switches of all four axes if nothing is saved yet, sets each axis to
    // the values at the rectangle's edges and emits zoomed().
    void ZoomToRect(const QRect &pixels);
    // Restores and discards the saved state, if any; always redraws.
    void UndoZoom();
    bool HasSavedZoom() const { return saved_.has_value(); }

    // Shifts the left and right axes by steps * 3/100 of their ranges (a
    // wheel step toward the user is +1: toward larger values).
    void ShiftVertical(double steps);

    void SetFocus();

    // Redraws now (what the display-rate timer does when something changed).
    void Replot();
    // While held, changes wait for an explicit Replot or the release.
    void SetReplotHeld(bool held);
    bool ReplotPending() const;
    // The interval the pending redraw was scheduled with, or -1.
    int ScheduledReplotMs() const;
    // Label texts made for the bottom axis since the chart was created;
    // shows that labels are made per visible tick, not per point.
    long long LabelsMade() const;

signals:
    void zoomed();
    void doubleClicked(QPointF pos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct TSeriesData;
    class TSeriesPlottable;
    struct TAxisState {
        std::array<TAxisRange, ChartAxisCount> ranges;
        std::array<bool, ChartAxisCount> automatic{};
    };
    class TLabelTicker;

    TSeriesData &Data(TSeries s) const;
    QCPAxis *Axis(TChartAxis a) const;
    void UpdateTickCount() const;
    // A redraw at most intervalMs from now (an earlier one pending stays).
    void RequestReplot(int intervalMs = ReplotIntervalMs);
    // The redraw interval for new points in the current view.
    int LiveReplotInterval() const;
    // Whether the point just appended to s shows in the view (or widens an
    // automatic vertical range: withinValueRange is false).
    bool AppendChangesView(TSeries s, bool withinValueRange) const;
    // Lays the chart out with current ranges and ticks, so that pixel
    // conversions see what the next redraw will show.
    void EnsureLayout() const;
    void ApplyAutomatic() const;
    void UpdateLegend();
    // Saves the ranges and automatic switches of all four axes, unless a
    // state is saved already.
    void SaveState();
    bool MousePress(QMouseEvent *e);
    bool MouseMove(QMouseEvent *e);
    bool MouseRelease(QMouseEvent *e);
    bool Wheel(QWheelEvent *e);

    QCustomPlot *plot_;
    QCPAxisRect *axisRect_;
    // The chart goes with its adapter (the ticker reads the adapter's
    // labels), unless its parent widget has deleted it first.
    QPointer<QWidget> plotAlive_;
    std::array<std::unique_ptr<TSeriesData>, SeriesCount> series_;
    TLabelTicker *ticker_; // owned by the bottom axis
    std::array<bool, ChartAxisCount> automatic_{true, true, false, false};
    std::optional<TAxisState> saved_;
    QTimer *timer_;
    mutable bool layoutDirty_ = true;
    bool replotHeld_ = false;

    enum class TDrag { None, Rect, Pan };
    TDrag drag_ = TDrag::None;
    QPoint dragStart_;
    bool dragMoved_ = false;
    TAxisRange panBottom_, panTop_; // the horizontal ranges when the pan began
    QRubberBand *rubberBand_;
    int wheelDelta_ = 0; // parts of a wheel step not used yet (fine-grained wheels)
};

} // namespace glowkite
