#pragma once

#include "plot/levels.h"

#include <QChartView>

class QLineSeries;
class QRubberBand;
class QScatterSeries;
class QValueAxis;

// A chart of a long series that draws what its pixels can show, and zooms and pans along x:
// the wheel zooms about the pointer, a drag with the left button zooms to the stretch dragged
// over, a drag with the right button or with Shift held pans, and +, -, the arrows, Home and
// End do the same from the keyboard; a double-click or 0 shows the whole series again, exactly
// as it opened. The y axis fits what is shown. It tells which stretch it shows and which sample
// the pointer is nearest to.
class ZoomView : public QChartView
{
    Q_OBJECT

public:
    // Zoom stops when about this many samples are shown.
    static constexpr qsizetype fewest = 10;

    ZoomView(const Levels &levels, QWidget *parent);

    // The samples shown: [from, to).
    qsizetype from() const { return first; }
    qsizetype to() const { return last; }
    bool isZoomed() const { return first > 0 || last < levels.size(); }
    void showStretch(qsizetype from, qsizetype to);
    void showWhole();

signals:
    void stretchShown(qsizetype from, qsizetype to);
    // The sample nearest to the pointer over the plot, or -1 once it left.
    void pointed(qsizetype sample);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    // The place under a pixel column, in samples from the first shown.
    double sampleAt(qreal x) const;
    void zoomAbout(double sample, double factor);
    void point(qreal x);
    double tickStep(double min, double max) const;
    void showX(double min, double max);

    const Levels &levels;
    QLineSeries *line;
    QScatterSeries *marker;
    QValueAxis *axisX;
    QValueAxis *axisY;
    qsizetype first = 0;
    qsizetype last = 0;
    // The opening view, which showWhole() gives back.
    QList<QPointF> whole;
    std::pair<qreal, qreal> wholeX, wholeY;

    enum class Drag { None, Selecting, Panning } drag = Drag::None;
    QPoint pressedAt;
    qsizetype pressedFrom = 0;
    QRubberBand *band;
};
