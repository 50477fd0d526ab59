#include "gui/results/chart_accessible.h"

#include "gui/results/chart_view.h"

namespace velk::results {

namespace {

QAccessibleInterface* chartFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(CChartView::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new ChartAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

}  // namespace

ChartAccessible::ChartAccessible(QWidget* chart) : QAccessibleWidget(chart, QAccessible::Graphic) {}

QString ChartAccessible::text(QAccessible::Text kind) const {
    const auto* chart = static_cast<const CChartView*>(widget());
    if (kind == QAccessible::Name)
        return chart->title().isEmpty() ? CChartView::tr("Chart") : chart->title();
    if (kind == QAccessible::Description) {
        QStringList parts;
        if (!chart->footer().isEmpty()) parts << chart->footer();
        const QString h = chart->axis(CChartView::kHorizontalAxis).title;
        const QString v = chart->axis(CChartView::kVerticalAxis).title;
        if (!h.isEmpty() || !v.isEmpty()) parts << CChartView::tr("%1 against %2").arg(v, h);
        QStringList names;
        for (const auto& series : chart->series()) names << series.name;
        if (!names.isEmpty()) parts << CChartView::tr("Series: %1").arg(names.join(", "));
        return parts.join(". ");
    }
    return QAccessibleWidget::text(kind);
}

void ChartAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(chartFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace velk::results
