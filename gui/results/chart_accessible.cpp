#include "gui/results/chart_accessible.h"

#include "gui/results/chart_view.h"

namespace velk::results {

namespace {

QAccessibleInterface* chartFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(ChartView::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new ChartAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

}  // namespace

ChartAccessible::ChartAccessible(QWidget* chart) : QAccessibleWidget(chart, QAccessible::Graphic) {}

QString ChartAccessible::text(QAccessible::Text kind) const {
    const auto* chart = static_cast<const ChartView*>(widget());
    if (kind == QAccessible::Name)
        return chart->title().isEmpty() ? ChartView::tr("Chart") : chart->title();
    if (kind == QAccessible::Description) {
        QStringList parts;
        if (!chart->footer().isEmpty()) parts << chart->footer();
        const QString h = chart->axis(ChartView::kHorizontalAxis).title;
        const QString v = chart->axis(ChartView::kVerticalAxis).title;
        if (!h.isEmpty() || !v.isEmpty()) parts << ChartView::tr("%1 against %2").arg(v, h);
        QStringList names;
        for (const auto& series : chart->series()) names << series.name;
        if (!names.isEmpty()) parts << ChartView::tr("Series: %1").arg(names.join(", "));
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
