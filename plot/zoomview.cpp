#include "plot/zoomview.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLineSeries>
#include <QRubberBand>
#include <QScatterSeries>
#include <QValueAxis>

#include <cmath>

namespace {

// One step of the wheel or of + and -, and of the arrow keys, as parts of what is shown.
constexpr double wheelStep = 0.8;
constexpr double keyStep = 0.5;
constexpr double panStep = 0.125;
// A drag shorter than this is a click.
constexpr int shortestDrag = 4;

} // namespace

ZoomView::ZoomView(const Levels &levels, QWidget *parent)
    : QChartView(new QChart, parent), levels(levels), line(new QLineSeries),
      marker(new QScatterSeries), band(new QRubberBand(QRubberBand::Rectangle, viewport()))
{
    // The opening view, as the chart's default axes fit it to the whole series.
    last = levels.size();
    whole = levels.drawn(0, last, parent ? parent->width() : width());
    line->replace(whole);
    chart()->addSeries(line);
    chart()->createDefaultAxes();
    chart()->legend()->hide();
    chart()->setTheme(QChart::ChartThemeDark);
    axisX = qobject_cast<QValueAxis *>(chart()->axes(Qt::Horizontal).value(0));
    axisY = qobject_cast<QValueAxis *>(chart()->axes(Qt::Vertical).value(0));
    wholeX = { axisX->min(), axisX->max() };
    wholeY = { axisY->min(), axisY->max() };
    chart()->addSeries(marker);
    marker->attachAxis(axisX);
    marker->attachAxis(axisY);
    marker->setMarkerSize(9);
    marker->setColor(Qt::white);
    // Sample numbers are whole: so are the x axis's ticks and labels.
    axisX->setLabelFormat(QStringLiteral("%.0f"));
    axisX->setTickAnchor(0);
    axisX->setTickInterval(tickStep(wholeX.first, wholeX.second));
    axisX->setTickType(QValueAxis::TicksDynamic);
    connect(chart(), &QChart::plotAreaChanged, this,
        [this] { axisX->setTickInterval(tickStep(axisX->min(), axisX->max())); });
    setRenderHint(QPainter::Antialiasing);
    setMouseTracking(true);
    // The keys go on where the wheel left off, without a click first.
    setFocusPolicy(Qt::WheelFocus);
}

void ZoomView::showStretch(qsizetype from, qsizetype to)
{
    const qsizetype n = levels.size();
    const qsizetype width = std::clamp(to - from, std::min(fewest, n), n);
    from = std::clamp<qsizetype>(from, 0, n - width);
    to = from + width;
    if (from == 0 && to == n) {
        showWhole();
        return;
    }
    first = from;
    last = to;
    line->replace(levels.drawn(from, to, int(chart()->plotArea().width())));
    showX(levels.sample(from).x(), levels.sample(to - 1).x());
    // A flat stretch gets half a unit either side, as the default axes give it.
    auto [low, high] = levels.span(from, to);
    if (low == high) {
        low -= 0.5;
        high += 0.5;
    }
    axisY->setRange(low, high);
    emit stretchShown(first, last);
}

void ZoomView::showWhole()
{
    first = 0;
    last = levels.size();
    line->replace(whole);
    showX(wholeX.first, wholeX.second);
    axisY->setRange(wholeY.first, wholeY.second);
    emit stretchShown(first, last);
}

// The chart cuts short a label that has less room than its text, and gives each label the
// plot's width shared out among them: the ticks lie a round number of samples apart, as close
// as the widest label and a gap of two digits allow.
double ZoomView::tickStep(double min, double max) const
{
    const QFontMetricsF metrics(axisX->labelsFont());
    const qreal widest = std::max(metrics.horizontalAdvance(QString::number(std::llround(min))),
        metrics.horizontalAdvance(QString::number(std::llround(max))));
    const qreal room = widest + 2 * metrics.horizontalAdvance(u'0');
    const int fit = std::max(1, int(chart()->plotArea().width() / room));
    const auto labels
        = [&](double step) { return std::floor(max / step) - std::ceil(min / step) + 1; };
    // Bounded, for a range that is no number.
    double power = 1;
    for (; power < 1e15; power *= 10) {
        for (double step : { power, 2 * power, 2.5 * power, 5 * power }) {
            if (step == std::floor(step) && labels(step) <= fit)
                return step;
        }
    }
    return power;
}

// The chart lays its labels out at each change of range or ticks: the ticks change first where
// they get fewer, so that no change lays out more labels than either view has.
void ZoomView::showX(double min, double max)
{
    const double step = tickStep(min, max);
    if (step > axisX->tickInterval())
        axisX->setTickInterval(step);
    axisX->setRange(min, max);
    axisX->setTickInterval(step);
}

double ZoomView::sampleAt(qreal x) const
{
    const qreal value = chart()->mapToValue(QPointF(x, chart()->plotArea().center().y()), line).x();
    // The samples lie in x order: the first at or after the value, and how far it is from the
    // one before.
    qsizetype lo = 0, hi = levels.size();
    while (lo < hi) {
        const qsizetype mid = (lo + hi) / 2;
        if (levels.sample(mid).x() < value)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0)
        return 0;
    if (lo == levels.size())
        return double(lo - 1);
    const qreal before = levels.sample(lo - 1).x(), after = levels.sample(lo).x();
    return double(lo - 1) + (after > before ? (value - before) / (after - before) : 0);
}

void ZoomView::zoomAbout(double sample, double factor)
{
    const double width = double(last - first);
    const double wider = width * factor;
    const double from = sample - (sample - double(first)) * factor;
    showStretch(qsizetype(std::llround(from)), qsizetype(std::llround(from + wider)));
}

void ZoomView::point(qreal x)
{
    if (levels.size() == 0 || !chart()->plotArea().contains(x, chart()->plotArea().center().y()))
        return;
    const qsizetype nearest
        = std::clamp<qsizetype>(qsizetype(std::llround(sampleAt(x))), first, last - 1);
    marker->replace({ levels.sample(nearest) });
    emit pointed(nearest);
}

void ZoomView::wheelEvent(QWheelEvent *event)
{
    const int turn = event->angleDelta().y();
    if (turn == 0 || levels.size() == 0)
        return;
    // A turn away from the user zooms in.
    zoomAbout(sampleAt(event->position().x()), std::pow(wheelStep, turn / 120.0));
    event->accept();
}

void ZoomView::mousePressEvent(QMouseEvent *event)
{
    const QRectF plot = chart()->plotArea();
    pressedAt = event->position().toPoint();
    pressedFrom = first;
    if (event->button() == Qt::RightButton
        || (event->button() == Qt::LeftButton && event->modifiers() & Qt::ShiftModifier)) {
        drag = Drag::Panning;
    } else if (event->button() == Qt::LeftButton) {
        drag = Drag::Selecting;
        band->setGeometry(QRect(pressedAt.x(), int(plot.top()), 0, int(plot.height())));
        band->show();
    }
    event->accept();
}

void ZoomView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    const QRectF plot = chart()->plotArea();
    if (drag == Drag::Selecting) {
        band->setGeometry(QRect(std::min(at.x(), pressedAt.x()), int(plot.top()),
            std::abs(at.x() - pressedAt.x()), int(plot.height())));
    } else if (drag == Drag::Panning && plot.width() > 0) {
        const double perPixel = double(last - first - 1) / plot.width();
        const qsizetype moved = qsizetype(std::llround((pressedAt.x() - at.x()) * perPixel));
        showStretch(pressedFrom + moved, pressedFrom + moved + (last - first));
    }
    point(at.x());
    event->accept();
}

void ZoomView::mouseReleaseEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    if (drag == Drag::Selecting) {
        band->hide();
        if (std::abs(x - pressedAt.x()) >= shortestDrag) {
            const double a = sampleAt(std::min(x, pressedAt.x()));
            const double b = sampleAt(std::max(x, pressedAt.x()));
            showStretch(qsizetype(std::floor(a)), qsizetype(std::ceil(b)) + 1);
        }
    }
    drag = Drag::None;
    event->accept();
}

void ZoomView::mouseDoubleClickEvent(QMouseEvent *event)
{
    showWhole();
    event->accept();
}

void ZoomView::keyPressEvent(QKeyEvent *event)
{
    const qsizetype width = last - first;
    const double centre = double(first) + double(width - 1) / 2;
    const qsizetype step = std::max<qsizetype>(1, qsizetype(double(width) * panStep));
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomAbout(centre, keyStep);
        break;
    case Qt::Key_Minus:
        zoomAbout(centre, 1 / keyStep);
        break;
    case Qt::Key_Left:
        showStretch(first - step, last - step);
        break;
    case Qt::Key_Right:
        showStretch(first + step, last + step);
        break;
    case Qt::Key_Home:
        showStretch(0, width);
        break;
    case Qt::Key_End:
        showStretch(levels.size() - width, levels.size());
        break;
    case Qt::Key_0:
        showWhole();
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool ZoomView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Leave) {
        marker->clear();
        emit pointed(-1);
    }
    return QChartView::viewportEvent(event);
}
