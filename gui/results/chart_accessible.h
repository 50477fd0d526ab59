#pragma once
// How assistive technology sees the chart control: a graphic named by the
// chart's title, described by its subtitle, axes and series.  Installed once
// by the first ChartView.  User-interface thread only.
#include <QAccessibleWidget>

namespace velk::results {

class ChartAccessible : public QAccessibleWidget {
public:
    explicit ChartAccessible(QWidget* chart);
    QString text(QAccessible::Text kind) const override;

    // Makes Qt use ChartAccessible for every ChartView (idempotent).
    static void install();
};

}  // namespace velk::results
