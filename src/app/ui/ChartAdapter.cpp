#include "app/ui/ChartAdapter.h"

#include "gui/Cp1252.h"
#include "app/core/LineStore.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QRubberBand>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace glowkite {

namespace {

QColor ToQColor(TColor c)
{
    return QColor(c.r, c.g, c.b);
}

// QCustomPlot keeps the rendered labels of only 16 ticks per axis; the
// bottom axis shows about 40, so every redraw would lay out, measure and
// render each label again. Its painter is reached through derived access
// classes, as QCustomPlot offers no setter.
struct TAxisAccess : QCPAxis {
    static QCPAxisPainterPrivate *Painter(QCPAxis *axis) { return static_cast<TAxisAccess *>(axis)->mAxisPainter; }
};
struct TAxisPainterAccess : QCPAxisPainterPrivate {
    static void SetLabelCache(QCPAxis *axis, int labels)
    {
        static_cast<TAxisPainterAccess *>(TAxisAccess::Painter(axis))->mLabelCache.setMaxCost(labels);
    }
};
constexpr int LabelCacheSize = 256;

// A size measured once per text and font: QCustomPlot measures the legend
// entries and the title on every redraw's layout pass.
class TMeasuredOnce {
public:
    template <class Measure>
    QSize Size(const QString &text, const QFont &font, Measure measure) const
    {
        if (!size_.isValid() || text != text_ || font != font_) {
            text_ = text;
            font_ = font;
            size_ = measure();
        }
        return size_;
    }

private:
    mutable QString text_;
    mutable QFont font_;
    mutable QSize size_;
};

class TLegendItem : public QCPPlottableLegendItem {
public:
    using QCPPlottableLegendItem::QCPPlottableLegendItem;

protected:
    QSize minimumOuterSizeHint() const override
    {
        return measured_.Size(mPlottable ? mPlottable->name() : QString(), getFont(),
                              [this] { return QCPPlottableLegendItem::minimumOuterSizeHint(); });
    }

private:
    TMeasuredOnce measured_;
};

class TTitle : public QCPTextElement {
public:
    using QCPTextElement::QCPTextElement;

protected:
    QSize minimumOuterSizeHint() const override
    {
        return measured_.Size(mText, mFont, [this] { return QCPTextElement::minimumOuterSizeHint(); });
    }

private:
    TMeasuredOnce measured_;
};

} // namespace

// Bottom-axis ticks sit on point indexes, and a tick's label is the label of
// the point at that index, made only when the tick is drawn: a million
// points cost no more labels than a hundred.
class TChartAdapter::TLabelTicker : public QCPAxisTicker {
public:
    explicit TLabelTicker(const TPointSeries &points) : points_(points) {}

    long long made = 0;

protected:
    double getTickStep(const QCPRange &range) override
    {
        return std::max(1.0, std::ceil(QCPAxisTicker::getTickStep(range)));
    }

    int getSubTickCount(double) override { return 0; }

    QString getTickLabel(double tick, const QLocale &, QChar, int) override
    {
        const double index = std::round(tick);
        if (std::abs(tick - index) > 1e-6 || index < 0 || index >= static_cast<double>(points_.Count()))
            return {};
        ++made;
        return FromCp1252(points_.Label(static_cast<std::size_t>(index)));
    }

private:
    const TPointSeries &points_;
};

// A series as the chart draws it: only what the visible range needs at the
// plot's resolution (TPointSeries::Draw), so a redraw costs the pixels, not
// the points.
class TChartAdapter::TSeriesPlottable : public QCPAbstractPlottable {
public:
    TSeriesPlottable(QCPAxis *keyAxis, QCPAxis *valueAxis, const TPointSeries &points)
        : QCPAbstractPlottable(keyAxis, valueAxis), points_(points)
    {
    }

    double selectTest(const QPointF &, bool, QVariant *) const override { return -1; }

    QCPRange getKeyRange(bool &found, QCP::SignDomain) const override
    {
        found = points_.Count() > 0;
        return QCPRange(0, std::max(0, points_.Count() - 1));
    }

    QCPRange getValueRange(bool &found, QCP::SignDomain, const QCPRange &) const override
    {
        double lo = 0, hi = 0;
        found = points_.ValueRange(lo, hi);
        return QCPRange(lo, hi);
    }

    // What the last redraw drew.
    const TDrawing &Drawn() const { return drawing_; }

protected:
    void draw(QCPPainter *painter) override
    {
        QCPAxis *keys = mKeyAxis.data();
        QCPAxis *values = mValueAxis.data();
        if (!keys || !values)
            return;
        const QCPRange range = keys->range();
        const double pixels = std::abs(keys->coordToPixel(range.upper) - keys->coordToPixel(range.lower));
        points_.Draw(range.lower, range.upper, range.size() / std::max(1.0, pixels), drawing_);

        applyDefaultAntialiasingHint(painter);
        painter->setPen(mPen);
        painter->setBrush(Qt::NoBrush);
        polyline_.clear();
        auto flushLine = [&] {
            if (polyline_.size() > 1)
                painter->drawPolyline(polyline_.constData(), static_cast<int>(polyline_.size()));
            else if (polyline_.size() == 1)
                painter->drawPoint(polyline_.front());
            polyline_.clear();
        };
        for (const TDrawPoint &p : drawing_.line) {
            if (std::isnan(p.value)) {
                flushLine();
                continue;
            }
            polyline_.append(QPointF(keys->coordToPixel(p.key), values->coordToPixel(p.value)));
        }
        flushLine();

        TColor current{};
        bool penSet = false;
        for (const TDrawAccent &a : drawing_.accents) {
            if (!penSet || !(a.color == current)) {
                QPen pen = mPen;
                pen.setColor(QColor(a.color.r, a.color.g, a.color.b));
                painter->setPen(pen);
                current = a.color;
                penSet = true;
            }
            const QPointF p0(keys->coordToPixel(a.key0), values->coordToPixel(a.value0));
            const QPointF p1(keys->coordToPixel(a.key1), values->coordToPixel(a.value1));
            if (p0 == p1 || (a.key0 == a.key1 && std::abs(p0.y() - p1.y()) < 1))
                painter->drawPoint(p0);
            else
                painter->drawLine(p0, p1);
        }
    }

    void drawLegendIcon(QCPPainter *painter, const QRectF &rect) const override
    {
        applyDefaultAntialiasingHint(painter);
        painter->setPen(mPen);
        painter->drawLine(QLineF(rect.left(), rect.center().y() + 1, rect.right(), rect.center().y() + 1));
    }

private:
    const TPointSeries &points_;
    TDrawing drawing_;
    QVector<QPointF> polyline_;
};

struct TChartAdapter::TSeriesData {
    explicit TSeriesData(TColor color) : points(color) {}
    TSeriesPlottable *plot = nullptr;
    TPointSeries points;
};

TChartAdapter::TChartAdapter(QWidget *parent)
    : plot_(new QCustomPlot(parent)), plotAlive_(plot_), timer_(new QTimer(this)),
      rubberBand_(new QRubberBand(QRubberBand::Rectangle, plot_))
{
    plot_->setObjectName(QStringLiteral("cht_Data"));
    // The wheel shifts the vertical axes of the chart that has the focus;
    // turning the wheel over the chart gives it the focus.
    plot_->setFocusPolicy(Qt::WheelFocus);
    plot_->setPlottingHint(QCP::phFastPolylines, true);
    plot_->setAutoAddPlottableToLegend(false);
    plot_->setNoAntialiasingOnDrag(true);

    plot_->plotLayout()->insertRow(0);
    auto *title = new TTitle(plot_, QStringLiteral("glowkite  Rauchversuch"));
    plot_->plotLayout()->addElement(0, 0, title);

    // The legend to the right of the plot, at its top, so it hides no points.
    auto *side = new QCPLayoutGrid;
    side->setMargins(QMargins(0, 0, 6, 0)); // the legend draws its frame on its outer edge
    plot_->plotLayout()->addElement(1, 1, side);
    plot_->plotLayout()->setColumnStretchFactor(1, 0.001);
    axisRect_ = plot_->axisRect(); // QCustomPlot's lookup builds a list each time
    axisRect_->insetLayout()->take(plot_->legend);
    side->addElement(0, 0, plot_->legend);
    side->addElement(1, 0, new QCPLayoutElement(plot_));
    side->setRowStretchFactor(0, 0.001);
    plot_->legend->setVisible(true);

    for (int i = 0; i < SeriesCount; ++i)
        series_[static_cast<std::size_t>(i)] = std::make_unique<TSeriesData>(SeriesColor(static_cast<TSeries>(i)));
    auto ticker = QSharedPointer<TLabelTicker>::create(Data(TSeries::AQ).points);
    ticker_ = ticker.data();
    plot_->xAxis->setTicker(ticker);
    plot_->xAxis->setTickLabelRotation(-90);
    plot_->xAxis2->setVisible(true);
    plot_->xAxis2->setTickLabels(false);
    plot_->xAxis2->grid()->setVisible(false);
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->grid()->setVisible(false);
    for (QCPAxis *axis : {plot_->xAxis, plot_->xAxis2, plot_->yAxis, plot_->yAxis2})
        TAxisPainterAccess::SetLabelCache(axis, LabelCacheSize);
    plot_->yAxis->setRange(LeftAxisRange.min, LeftAxisRange.max);
    plot_->yAxis2->setRange(RightAxisRange.min, RightAxisRange.max);

    for (int i = 0; i < SeriesCount; ++i) {
        const auto s = static_cast<TSeries>(i);
        TSeriesData *d = series_[static_cast<std::size_t>(i)].get();
        QCPAxis *valueAxis = (s == TSeries::AQ || s == TSeries::Status) ? plot_->yAxis : plot_->yAxis2;
        d->plot = new TSeriesPlottable(plot_->xAxis, valueAxis, d->points);
        d->plot->setName(QString::fromLatin1(SeriesTitle(s)));
        d->plot->setPen(QPen(ToQColor(SeriesColor(s))));
        d->plot->setAntialiased(false);
    }
    UpdateLegend();

    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &TChartAdapter::Replot);
    connect(plot_, &QCustomPlot::mouseDoubleClick, this,
            [this](QMouseEvent *e) { emit doubleClicked(e->position()); });
    plot_->installEventFilter(this);
}

TChartAdapter::~TChartAdapter()
{
    delete plotAlive_.data();
}

bool TChartAdapter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == plot_) {
        switch (event->type()) {
        case QEvent::Resize: layoutDirty_ = true; break;
        case QEvent::MouseButtonPress: return MousePress(static_cast<QMouseEvent *>(event));
        case QEvent::MouseMove: return MouseMove(static_cast<QMouseEvent *>(event));
        case QEvent::MouseButtonRelease: return MouseRelease(static_cast<QMouseEvent *>(event));
        case QEvent::Wheel: return Wheel(static_cast<QWheelEvent *>(event));
        default: break;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool TChartAdapter::MousePress(QMouseEvent *e)
{
    if (drag_ != TDrag::None)
        return false;
    if (e->button() == Qt::LeftButton)
        drag_ = TDrag::Rect;
    else if (e->button() == Qt::RightButton)
        drag_ = TDrag::Pan;
    else
        return false;
    dragStart_ = e->position().toPoint();
    dragMoved_ = false;
    if (drag_ == TDrag::Pan) {
        panBottom_ = Range(TChartAxis::Bottom);
        panTop_ = Range(TChartAxis::Top);
    }
    return false;
}

bool TChartAdapter::MouseMove(QMouseEvent *e)
{
    if (drag_ == TDrag::None)
        return false;
    const QPoint pos = e->position().toPoint();
    // A click that wobbles a pixel is no drag.
    if (!dragMoved_ && (pos - dragStart_).manhattanLength() < QApplication::startDragDistance())
        return true;
    dragMoved_ = true;
    if (drag_ == TDrag::Rect) {
        rubberBand_->setGeometry(QRect(dragStart_, pos).normalized());
        rubberBand_->show();
        return true;
    }
    // A pan is undone like a zoom: the state before it is saved first.
    SaveState();
    const double width = axisRect_->width();
    if (width <= 0)
        return true;
    const double pixels = pos.x() - dragStart_.x();
    for (auto [axis, from] : {std::pair{TChartAxis::Bottom, panBottom_}, std::pair{TChartAxis::Top, panTop_}}) {
        const double offset = -pixels * (from.max - from.min) / width;
        SetRange(axis, {from.min + offset, from.max + offset});
    }
    return true;
}

bool TChartAdapter::MouseRelease(QMouseEvent *e)
{
    const TDrag drag = drag_;
    const bool button = (drag == TDrag::Rect && e->button() == Qt::LeftButton) ||
                        (drag == TDrag::Pan && e->button() == Qt::RightButton);
    if (!button)
        return false;
    drag_ = TDrag::None;
    rubberBand_->hide();
    if (!dragMoved_)
        return false;
    if (drag == TDrag::Rect) {
        const QPoint end = e->position().toPoint();
        if (end.x() > dragStart_.x() && end.y() > dragStart_.y())
            ZoomToRect(QRect(dragStart_, end));
        else
            UndoZoom();
    }
    return true;
}

bool TChartAdapter::Wheel(QWheelEvent *e)
{
    // 120 units are one notch; finer wheels send parts of it. A positive
    // delta is a turn away from the user.
    wheelDelta_ += e->angleDelta().y();
    const int steps = wheelDelta_ / QWheelEvent::DefaultDeltasPerStep;
    wheelDelta_ -= steps * QWheelEvent::DefaultDeltasPerStep;
    if (steps != 0)
        ShiftVertical(-steps);
    e->accept();
    return true;
}

void TChartAdapter::ShiftVertical(double steps)
{
    for (TChartAxis a : {TChartAxis::Left, TChartAxis::Right}) {
        const TAxisRange r = Range(a);
        Scroll(a, steps * 3.0 / 100.0 * (r.max - r.min));
    }
}

QWidget *TChartAdapter::Widget() const
{
    return plot_;
}

TChartAdapter::TSeriesData &TChartAdapter::Data(TSeries s) const
{
    return *series_[static_cast<std::size_t>(s)];
}

void TChartAdapter::Append(TSeries s, double value, std::string_view label, TColor color)
{
    TSeriesData &d = Data(s);
    if (replotHeld_) {
        // A replay: shown in full when the hold ends.
        d.points.Append(value, label, color);
        layoutDirty_ = true;
        return;
    }
    double lo = 0, hi = 0;
    const bool hadRange = d.points.ValueRange(lo, hi);
    d.points.Append(value, label, color);
    // A point the view does not show changes nothing drawn: while zoomed onto
    // an earlier part of the day, arriving points cost no redraws.
    if (AppendChangesView(s, hadRange && value >= lo && value <= hi))
        RequestReplot(LiveReplotInterval());
}

bool TChartAdapter::AppendChangesView(TSeries s, bool withinValueRange) const
{
    if (automatic_[static_cast<std::size_t>(TChartAxis::Bottom)] || automatic_[static_cast<std::size_t>(TChartAxis::Top)])
        return true;
    const TSeriesData &d = Data(s);
    const bool visible = d.plot->visible();
    const bool verticalAutomatic =
        automatic_[static_cast<std::size_t>(d.plot->valueAxis() == plot_->yAxis ? TChartAxis::Left : TChartAxis::Right)];
    if (visible && verticalAutomatic && !withinValueRange)
        return true;
    // The line runs on to the neighbour just outside the view; the bottom
    // axis labels the ticks with the AQ points' labels, shown or not.
    if (!visible && s != TSeries::AQ)
        return false;
    const double i = d.points.Count() - 1;
    const QCPRange bottom = plot_->xAxis->range(), top = plot_->xAxis2->range();
    const double lower = std::min(bottom.lower, top.lower), upper = std::max(bottom.upper, top.upper);
    return i - 1 <= upper && i + 1 >= lower;
}

TColor TChartAdapter::Color(TSeries s, int i) const
{
    return Data(s).points.Color(static_cast<std::size_t>(i));
}

bool TChartAdapter::SaveImage(const QString &fileName)
{
    EnsureLayout();
    if (fileName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        return plot_->savePdf(fileName);
    return plot_->savePng(fileName);
}

void TChartAdapter::Clear()
{
    for (auto &d : series_)
        d->points.Clear();
    RequestReplot();
}

int TChartAdapter::Count(TSeries s) const
{
    return Data(s).points.Count();
}

double TChartAdapter::Value(TSeries s, int i) const
{
    return Data(s).points.Value(static_cast<std::size_t>(i));
}

std::string_view TChartAdapter::Label(TSeries s, int i) const
{
    return Data(s).points.Label(static_cast<std::size_t>(i));
}

int TChartAdapter::FindLabel(TSeries s, std::string_view text) const
{
    return Data(s).points.FindLabel(text);
}

void TChartAdapter::SetVisible(TSeries s, bool visible)
{
    Data(s).plot->setVisible(visible);
    UpdateLegend();
    RequestReplot();
}

bool TChartAdapter::IsVisible(TSeries s) const
{
    return Data(s).plot->visible();
}

int TChartAdapter::AccentPointCount(TSeries s, TColor color) const
{
    return Data(s).points.AccentPointCount(color);
}

const TPointSeries &TChartAdapter::Points(TSeries s) const
{
    return Data(s).points;
}

const TDrawing &TChartAdapter::Drawn(TSeries s) const
{
    return Data(s).plot->Drawn();
}

std::size_t TChartAdapter::ByteSize() const
{
    std::size_t n = 0;
    for (const auto &d : series_)
        n += d->points.ByteSize();
    return n;
}

QCPAxis *TChartAdapter::Axis(TChartAxis a) const
{
    switch (a) {
    case TChartAxis::Bottom: return plot_->xAxis;
    case TChartAxis::Top: return plot_->xAxis2;
    case TChartAxis::Left: return plot_->yAxis;
    case TChartAxis::Right: return plot_->yAxis2;
    }
    return plot_->xAxis;
}

void TChartAdapter::ApplyAutomatic() const
{
    const int n = Count(TSeries::AQ);
    const QCPRange horizontal(0, std::max(1, n - 1));
    for (TChartAxis a : {TChartAxis::Bottom, TChartAxis::Top})
        if (automatic_[static_cast<std::size_t>(a)])
            Axis(a)->setRange(horizontal);
    for (TChartAxis a : {TChartAxis::Left, TChartAxis::Right}) {
        if (!automatic_[static_cast<std::size_t>(a)])
            continue;
        QCPAxis *axis = Axis(a);
        bool any = false;
        QCPRange r;
        for (const auto &d : series_) {
            if (d->plot->valueAxis() != axis || !d->plot->visible())
                continue;
            bool found = false;
            const QCPRange gr = d->plot->getValueRange(found, QCP::sdBoth, QCPRange());
            if (!found)
                continue;
            r = any ? QCPRange(std::min(r.lower, gr.lower), std::max(r.upper, gr.upper)) : gr;
            any = true;
        }
        if (!any)
            continue;
        if (r.size() <= 0)
            r = QCPRange(r.lower - 1, r.upper + 1);
        axis->setRange(r);
    }
}

TAxisRange TChartAdapter::Range(TChartAxis a) const
{
    ApplyAutomatic();
    const QCPRange r = Axis(a)->range();
    return {r.lower, r.upper};
}

void TChartAdapter::SetRange(TChartAxis a, TAxisRange r)
{
    automatic_[static_cast<std::size_t>(a)] = false;
    Axis(a)->setRange(r.min, r.max);
    RequestReplot();
}

bool TChartAdapter::Automatic(TChartAxis a) const
{
    return automatic_[static_cast<std::size_t>(a)];
}

void TChartAdapter::SetAutomatic(TChartAxis a, bool on)
{
    automatic_[static_cast<std::size_t>(a)] = on;
    RequestReplot();
}

void TChartAdapter::Scroll(TChartAxis a, double offset)
{
    const TAxisRange r = Range(a);
    SetRange(a, {r.min + offset, r.max + offset});
}

void TChartAdapter::EnsureLayout() const
{
    if (!layoutDirty_)
        return;
    ApplyAutomatic();
    UpdateTickCount();
    plot_->setViewport(plot_->rect());
    QCPLayout *layout = plot_->plotLayout();
    layout->update(QCPLayoutElement::upPreparation);
    layout->update(QCPLayoutElement::upMargins);
    layout->update(QCPLayoutElement::upLayout);
    layoutDirty_ = false;
}

void TChartAdapter::UpdateTickCount() const
{
    // Upright labels need about two text lines of room each.
    const int spacing = 2 * QFontMetrics(plot_->xAxis->tickLabelFont()).height();
    ticker_->setTickCount(std::max(2, axisRect_->width() / std::max(1, spacing)));
}

double TChartAdapter::BottomValueToPixel(double value) const
{
    EnsureLayout();
    return plot_->xAxis->coordToPixel(value);
}

double TChartAdapter::LeftValueToPixel(double value) const
{
    EnsureLayout();
    return plot_->yAxis->coordToPixel(value);
}

double TChartAdapter::PixelToBottomValue(double x) const
{
    EnsureLayout();
    return plot_->xAxis->pixelToCoord(x);
}

double TChartAdapter::PixelToLeftValue(double y) const
{
    EnsureLayout();
    return plot_->yAxis->pixelToCoord(y);
}

double TChartAdapter::MouseBottomValue() const
{
    return PixelToBottomValue(plot_->mapFromGlobal(QCursor::pos()).x());
}

void TChartAdapter::SaveState()
{
    if (saved_)
        return;
    TAxisState state;
    for (int i = 0; i < ChartAxisCount; ++i) {
        state.ranges[static_cast<std::size_t>(i)] = Range(static_cast<TChartAxis>(i));
        state.automatic[static_cast<std::size_t>(i)] = automatic_[static_cast<std::size_t>(i)];
    }
    saved_ = state;
}

void TChartAdapter::ZoomToRect(const QRect &pixels)
{
    EnsureLayout();
    SaveState();
    const QRect r = pixels.normalized();
    for (int i = 0; i < ChartAxisCount; ++i) {
        const auto a = static_cast<TChartAxis>(i);
        QCPAxis *axis = Axis(a);
        const bool horizontal = a == TChartAxis::Bottom || a == TChartAxis::Top;
        const double from = axis->pixelToCoord(horizontal ? r.left() : r.bottom());
        const double to = axis->pixelToCoord(horizontal ? r.right() : r.top());
        automatic_[static_cast<std::size_t>(i)] = false;
        axis->setRange(from, to);
    }
    RequestReplot();
    emit zoomed();
}

void TChartAdapter::UndoZoom()
{
    if (saved_) {
        for (int i = 0; i < ChartAxisCount; ++i) {
            const TAxisRange r = saved_->ranges[static_cast<std::size_t>(i)];
            Axis(static_cast<TChartAxis>(i))->setRange(r.min, r.max);
            automatic_[static_cast<std::size_t>(i)] = saved_->automatic[static_cast<std::size_t>(i)];
        }
        saved_.reset();
    }
    RequestReplot();
}

void TChartAdapter::SetFocus()
{
    plot_->setFocus();
}

void TChartAdapter::RequestReplot(int intervalMs)
{
    layoutDirty_ = true;
    if (replotHeld_)
        return;
    if (!timer_->isActive() || timer_->remainingTime() > intervalMs)
        timer_->start(intervalMs);
}

int TChartAdapter::LiveReplotInterval() const
{
    const bool automatic = automatic_[static_cast<std::size_t>(TChartAxis::Bottom)];
    const double keys = automatic ? std::max(1, Count(TSeries::AQ) - 1) : plot_->xAxis->range().size();
    const double columns = std::max(1, axisRect_->width());
    const double perColumn = keys / columns;
    if (perColumn >= OverviewPointsPerColumn)
        return OverviewLiveReplotIntervalMs;
    return perColumn >= DensePointsPerColumn ? DenseLiveReplotIntervalMs : LiveReplotIntervalMs;
}

void TChartAdapter::SetReplotHeld(bool held)
{
    replotHeld_ = held;
    if (!held)
        RequestReplot();
}

bool TChartAdapter::ReplotPending() const
{
    return timer_->isActive();
}

int TChartAdapter::ScheduledReplotMs() const
{
    return timer_->isActive() ? timer_->interval() : -1;
}

void TChartAdapter::Replot()
{
    timer_->stop();
    ApplyAutomatic();
    UpdateTickCount();
    plot_->replot();
    layoutDirty_ = false;
}

long long TChartAdapter::LabelsMade() const
{
    return ticker_->made;
}

void TChartAdapter::UpdateLegend()
{
    plot_->legend->clearItems();
    for (auto &d : series_)
        if (d->plot->visible())
            plot_->legend->addItem(new TLegendItem(plot_->legend, d->plot));
}

} // namespace glowkite
