#include "gui/editor/param_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <climits>

#include "app/editor/from_to_rule.h"
#include "app/scenario/req_param.h"
#include "gui/editor/tool_button.h"

namespace velk::editor {
namespace {

using velk::scenario::CReqParamFunction;

// The fields a kind shows, by their labels; null: not shown.  The second
// number is To for the random kinds and Shift for Sequence.
struct KindFields {
    const char* text;
    const char* first;
    const char* second;
    const char* extra;
    bool list;
};

constexpr KindFields kKindFields[CReqParamFunction::kKindCount] = {
    {"&Static text", nullptr, nullptr, nullptr, false},
    {"&Prefix", "F&rom", "&To", nullptr, false},
    {nullptr, "F&rom", "&To", nullptr, false},
    {nullptr, nullptr, nullptr, nullptr, true},
    {nullptr, nullptr, nullptr, nullptr, true},
    {"&Prefix", "St&art", "&Shift", nullptr, false},
    {"&Name", nullptr, nullptr, nullptr, false},
    {"&Name", nullptr, nullptr, nullptr, false},
    {"&Prefix", nullptr, nullptr, "Postfi&x", false},
    {"&Name", nullptr, nullptr, "&Mime type", false},
    {"&Name", nullptr, nullptr, nullptr, false},
    {"&Name", nullptr, nullptr, nullptr, false},
};

bool isRandomKind(int kind) {
    return kind == CReqParamFunction::kNumericRandom ||
           kind == CReqParamFunction::kAlphanumericRandom;
}

}  // namespace

ParamDialog::ParamDialog(const QString& name, bool encode, Components components, QWidget* parent)
    : QDialog(parent), m_encode(encode), m_components(std::move(components)) {
    setWindowTitle(tr("Parameter Value Dynamic Calculation"));
    auto* layout = new QGridLayout(this);
    auto* nameLabel = new QLabel(tr("&Name:"), this);
    m_name = new QLineEdit(name, this);
    m_name->setMaxLength(256);
    nameLabel->setBuddy(m_name);
    auto* formulaLabel = new QLabel(tr("Formula:"), this);
    m_formula = new QLineEdit(this);
    m_formula->setReadOnly(true);
    formulaLabel->setBuddy(m_formula);
    layout->addWidget(nameLabel, 0, 0);
    layout->addWidget(m_name, 0, 1);
    layout->addWidget(formulaLabel, 1, 0);
    layout->addWidget(m_formula, 1, 1);
    // Values sent in a query or form body must be URL-encoded unless they are
    // already (a recorded header pseudo-parameter is the one exception).
    m_encodeBox = new QCheckBox(tr("&Encode the value (URL-encoding)"), this);
    m_encodeBox->setChecked(m_encode);
    connect(m_encodeBox, &QCheckBox::toggled, this, [this](bool on) {
        m_encode = on;
        refreshFormula();
    });
    layout->addWidget(m_encodeBox, 2, 1);
    auto* lists = new QHBoxLayout;
    lists->addWidget(buildComponents(), 1);
    lists->addWidget(buildFields(), 2);
    layout->addLayout(lists, 3, 0, 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons, 4, 0, 1, 2);

    fillComponentList(m_components.empty() ? QList<int>{} : QList<int>{0});
    componentSelected();
    refreshFormula();
    resize(640, 460);
}

QWidget* ParamDialog::buildComponents() {
    auto* box = new QWidget(this);
    auto* layout = new QGridLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* componentsLabel = new QLabel(tr("&Formula components:"), box);
    m_componentList = new QListWidget(box);
    m_componentList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    componentsLabel->setBuddy(m_componentList);
    m_add = toolButton(box, QStringLiteral("+"), tr("Add Component"));
    m_delete = toolButton(box, QStringLiteral("\u2212"), tr("Delete Component"));
    m_up = toolButton(box, QStringLiteral("\u25b2"), tr("Move Up"));
    m_down = toolButton(box, QStringLiteral("\u25bc"), tr("Move Down"));
    auto* buttons = new QHBoxLayout;
    for (QToolButton* b : {m_add, m_delete, m_up, m_down}) buttons->addWidget(b);
    buttons->addStretch();
    auto* functionsLabel = new QLabel(tr("F&unctions:"), box);
    m_functionList = new QListWidget(box);
    functionsLabel->setBuddy(m_functionList);
    for (int kind = 0; kind < CReqParamFunction::kKindCount; ++kind) {
        auto* item = new QListWidgetItem(QString::fromLatin1(CReqParamFunction::kindName(kind)));
        item->setData(Qt::UserRole, kind);
        m_functionList->addItem(item);
    }
    // All ten kinds in view at once.
    m_functionList->setMinimumHeight(m_functionList->sizeHintForRow(0) *
                                         CReqParamFunction::kKindCount +
                                     2 * m_functionList->frameWidth());
    layout->addWidget(componentsLabel, 0, 0);
    layout->addLayout(buttons, 0, 1);
    layout->addWidget(m_componentList, 1, 0, 1, 2);
    layout->addWidget(functionsLabel, 2, 0, 1, 2);
    layout->addWidget(m_functionList, 3, 0, 1, 2);

    connect(m_componentList, &QListWidget::itemSelectionChanged, this,
            &ParamDialog::componentSelected);
    connect(m_functionList, &QListWidget::itemSelectionChanged, this, &ParamDialog::kindChosen);
    connect(m_add, &QToolButton::clicked, this, &ParamDialog::addComponent);
    connect(m_delete, &QToolButton::clicked, this, &ParamDialog::deleteComponents);
    connect(m_up, &QToolButton::clicked, this, [this] { moveComponent(-1); });
    connect(m_down, &QToolButton::clicked, this, [this] { moveComponent(1); });
    return box;
}

QGroupBox* ParamDialog::buildFields() {
    m_fieldsBox = new QGroupBox(tr("Function parameters"), this);
    auto* layout = new QGridLayout(m_fieldsBox);
    m_description = new QLabel(m_fieldsBox);
    m_description->setWordWrap(true);
    m_description->setMinimumHeight(m_description->fontMetrics().lineSpacing() * 4);
    m_description->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_textLabel = new QLabel(m_fieldsBox);
    m_text = new QLineEdit(m_fieldsBox);
    m_firstLabel = new QLabel(m_fieldsBox);
    m_first = new QSpinBox(m_fieldsBox);
    m_secondLabel = new QLabel(m_fieldsBox);
    m_second = new QSpinBox(m_fieldsBox);
    m_extraLabel = new QLabel(m_fieldsBox);
    m_extra = new QLineEdit(m_fieldsBox);
    m_list = new QPlainTextEdit(m_fieldsBox);
    m_list->setAccessibleName(tr("List, one element per line"));
    m_textLabel->setBuddy(m_text);
    m_firstLabel->setBuddy(m_first);
    m_secondLabel->setBuddy(m_second);
    m_extraLabel->setBuddy(m_extra);
    for (QSpinBox* number : {m_first, m_second}) number->setRange(0, INT_MAX);
    layout->addWidget(m_description, 0, 0, 1, 2);
    layout->addWidget(m_textLabel, 1, 0);
    layout->addWidget(m_text, 1, 1);
    layout->addWidget(m_firstLabel, 2, 0);
    layout->addWidget(m_first, 2, 1);
    layout->addWidget(m_secondLabel, 3, 0);
    layout->addWidget(m_second, 3, 1);
    layout->addWidget(m_extraLabel, 4, 0);
    layout->addWidget(m_extra, 4, 1);
    layout->addWidget(m_list, 5, 0, 1, 2);
    layout->setRowStretch(6, 1);

    connect(m_text, &QLineEdit::textEdited, this, &ParamDialog::fieldEdited);
    connect(m_extra, &QLineEdit::textEdited, this, &ParamDialog::fieldEdited);
    connect(m_list, &QPlainTextEdit::textChanged, this, &ParamDialog::fieldEdited);
    connect(m_first, &QSpinBox::valueChanged, this, &ParamDialog::firstNumberEdited);
    connect(m_second, &QSpinBox::valueChanged, this, &ParamDialog::secondNumberEdited);
    return m_fieldsBox;
}

QString ParamDialog::name() const {
    return m_name->text();
}

void ParamDialog::fillComponentList(const QList<int>& selected) {
    m_loading = true;
    m_componentList->clear();
    for (size_t i = 0; i < m_components.size(); ++i)
        m_componentList->addItem(tr("Formula %1").arg(i + 1));
    for (int row : selected)
        if (row >= 0 && row < m_componentList->count())
            m_componentList->item(row)->setSelected(true);
    if (!selected.isEmpty() && selected.front() < m_componentList->count())
        m_componentList->setCurrentRow(selected.front(), QItemSelectionModel::NoUpdate);
    m_loading = false;
    componentSelected();
}

QList<int> ParamDialog::selectedRows() const {
    QList<int> rows;
    for (int row = 0; row < m_componentList->count(); ++row)
        if (m_componentList->item(row)->isSelected()) rows.append(row);
    return rows;
}

int ParamDialog::currentComponent() const {
    const QList<int> rows = selectedRows();
    return rows.isEmpty() ? -1 : rows.front();
}

void ParamDialog::componentSelected() {
    if (m_loading) return;
    const int row = currentComponent();
    m_loading = true;
    m_functionList->clearSelection();
    if (row >= 0) m_functionList->setCurrentRow(m_components[size_t(row)].getKind());
    m_loading = false;
    showKind(row >= 0 ? m_components[size_t(row)].getKind() : -1);
    updateEnabling();
}

void ParamDialog::kindChosen() {
    if (m_loading) return;
    const QList<QListWidgetItem*> chosen = m_functionList->selectedItems();
    if (chosen.isEmpty() || currentComponent() < 0) return;
    // The component takes the kind, so OK keeps what the user sees, but its
    // texts and numbers stay until a field is edited: trying another kind and
    // coming back loses nothing.
    const int kind = chosen.front()->data(Qt::UserRole).toInt();
    m_components[size_t(currentComponent())].setKind(kind);
    showKind(kind);
    refreshFormula();
}

void ParamDialog::showKind(int kind) {
    const bool known = kind >= 0 && kind < CReqParamFunction::kKindCount;
    const KindFields fields = known ? kKindFields[kind] : KindFields{};
    const int row = currentComponent();
    const CReqParamFunction* c = row >= 0 ? &m_components[size_t(row)] : nullptr;
    m_loading = true;
    m_description->setText(known ? QString::fromLatin1(CReqParamFunction::kindHelp(kind))
                                 : QString());
    const auto show = [](QLabel* label, QWidget* field, const char* text) {
        label->setText(text ? QString::fromLatin1(text) : QString());
        label->setVisible(text != nullptr);
        field->setVisible(text != nullptr);
    };
    show(m_textLabel, m_text, fields.text);
    show(m_firstLabel, m_first, fields.first);
    show(m_secondLabel, m_second, fields.second);
    show(m_extraLabel, m_extra, fields.extra);
    m_list->setVisible(fields.list);
    // Static text is stored as typed (a comma is no list separator there).
    const std::string text = !c                                       ? std::string()
                             : kind == CReqParamFunction::kStaticText ? c->storedText()
                                                                      : c->getText();
    m_text->setText(fields.text ? QString::fromStdString(text) : QString());
    m_extra->setText(c && fields.extra ? QString::fromStdString(c->getExtra()) : QString());
    const QString list = c && fields.list ? QString::fromStdString(c->getList()) : QString();
    m_list->setPlainText(QString(list).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    m_first->setValue(c ? std::max(c->getFrom(), 0) : 0);
    const int32_t second =
        c ? (kind == CReqParamFunction::kSequence ? c->getShift() : c->getTo()) : 0;
    m_second->setValue(std::max(second, 0));
    m_loading = false;
}

void ParamDialog::fieldEdited() {
    const int row = currentComponent();
    const QList<QListWidgetItem*> chosen = m_functionList->selectedItems();
    if (m_loading || row < 0 || chosen.isEmpty()) return;
    const int kind = chosen.front()->data(Qt::UserRole).toInt();
    const KindFields& fields = kKindFields[kind];
    CReqParamFunction& c = m_components[size_t(row)];
    c.setKind(kind);
    c.clear();
    if (fields.text && kind == CReqParamFunction::kStaticText)
        c.makeLiteral(m_text->text().toStdString());
    else if (fields.text)
        c.setText(m_text->text().toStdString());
    if (fields.extra) c.setExtra(m_extra->text().toStdString());
    if (fields.list) c.setList(m_list->toPlainText().toStdString());
    if (fields.first) c.setFrom(m_first->value());
    if (fields.second && kind == CReqParamFunction::kSequence) c.setShift(m_second->value());
    if (fields.second && kind != CReqParamFunction::kSequence) c.setTo(m_second->value());
    refreshFormula();
}

void ParamDialog::firstNumberEdited() {
    if (m_loading) return;
    if (isRandomKind(m_functionList->currentRow())) {
        const auto r = FromToRule::fromChanged(m_first->value(), m_second->value());
        if (r.refused) {
            QMessageBox::warning(this, QCoreApplication::applicationName(),
                                 tr(FromToRule::kMessage));
            m_loading = true;
            m_first->setValue(r.from);
            m_loading = false;
        }
    }
    fieldEdited();
}

void ParamDialog::secondNumberEdited() {
    if (m_loading) return;
    if (isRandomKind(m_functionList->currentRow())) {
        const auto r = FromToRule::toChanged(m_first->value(), m_second->value());
        if (r.refused) {
            QMessageBox::warning(this, QCoreApplication::applicationName(),
                                 tr(FromToRule::kMessage));
            m_loading = true;
            m_second->setValue(r.to);
            m_loading = false;
        }
    }
    fieldEdited();
}

void ParamDialog::addComponent() {
    m_components.emplace_back();
    fillComponentList({int(m_components.size()) - 1});
    refreshFormula();
}

void ParamDialog::deleteComponents() {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) return;
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        m_components.erase(m_components.begin() + *it);
    const int next = std::min(rows.front(), int(m_components.size()) - 1);
    fillComponentList(next >= 0 ? QList<int>{next} : QList<int>{});
    refreshFormula();
}

void ParamDialog::moveComponent(int step) {
    const int row = currentComponent();
    const int other = row + step;
    if (row < 0 || other < 0 || other >= int(m_components.size())) return;
    std::swap(m_components[size_t(row)], m_components[size_t(other)]);
    fillComponentList({other});
    refreshFormula();
}

void ParamDialog::refreshFormula() {
    velk::scenario::CReqParam param;
    param.setEncode(m_encode);
    for (const CReqParamFunction& c : m_components) {
        auto copy = std::make_unique<CReqParamFunction>();
        copy->copyFrom(c);
        param.insert(-1, std::move(copy));
    }
    m_formula->setText(QString::fromStdString(param.buildValue(true, '&')));
}

void ParamDialog::updateEnabling() {
    const QList<int> rows = selectedRows();
    const int count = m_componentList->count();
    m_delete->setEnabled(!rows.isEmpty());
    m_up->setEnabled(!rows.isEmpty() && !rows.contains(0));
    m_down->setEnabled(!rows.isEmpty() && !rows.contains(count - 1));
    m_functionList->setEnabled(count > 0);
    m_fieldsBox->setEnabled(!rows.isEmpty());
}

}  // namespace velk::editor
