#include "gui/editor/request_options_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <mutex>

#include "app/editor/delay_field_rule.h"
#include "app/editor/request_row_text.h"
#include "gui/editor/delay_field.h"
#include "gui/editor/param_dialog.h"
#include "gui/editor/tool_button.h"

namespace velk::editor {

using velk::scenario::CReqParam;
using velk::scenario::CReqParamFunction;
using velk::scenario::CRequest;
using velk::scenario::CRequestsContainer;
using Guard = std::lock_guard<CRequestsContainer>;

namespace {

const QString kHref = QStringLiteral("$href()");
const QString kAction = QStringLiteral("$action");

}  // namespace

RequestOptionsPanel::RequestOptionsPanel(velk::scenario::ScenarioDocument& document,
                                         QWidget* parent)
    : QGroupBox(tr("Request options"), parent),
      m_document(document),
      m_runDialog([](ParamDialog& dialog) { return dialog.exec(); }) {
    auto* layout = new QGridLayout(this);
    buildRequestFields(layout);
    buildParameters(layout);
    clearForm();
    updateEnabling();
}

void RequestOptionsPanel::buildRequestFields(QGridLayout* layout) {
    auto* nameLabel = new QLabel(tr("&Name:"), this);
    m_name = new QLineEdit(this);
    m_name->setMaxLength(256);
    nameLabel->setBuddy(m_name);
    auto* serverLabel = new QLabel(tr("Ser&ver:"), this);
    m_server = new QLineEdit(this);
    m_server->setMaxLength(1024);
    serverLabel->setBuddy(m_server);
    m_secure = new QCheckBox(tr("&Secure"), this);
    auto* uriLabel = new QLabel(tr("U&RI:"), this);
    m_uri = new QComboBox(this);
    m_uri->setEditable(true);
    m_uri->setInsertPolicy(QComboBox::NoInsert);
    m_uri->lineEdit()->setMaxLength(1024);
    m_uri->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_uri->setMinimumContentsLength(8);
    uriLabel->setBuddy(m_uri);
    auto* methodLabel = new QLabel(tr("Met&hod:"), this);
    m_method = new QComboBox(this);
    m_method->addItems({QStringLiteral("GET"), QStringLiteral("POST")});
    methodLabel->setBuddy(m_method);
    m_delayLabel = new QLabel(tr("Delay &from:"), this);
    m_delayFrom = new DelayField(this);
    m_delayLabel->setBuddy(m_delayFrom);
    m_toLabel = new QLabel(tr("&to:"), this);
    m_delayTo = new DelayField(this);
    m_toLabel->setBuddy(m_delayTo);
    m_secLabel = new QLabel(tr("sec"), this);

    layout->addWidget(nameLabel, 0, 0);
    layout->addWidget(m_name, 0, 1, 1, 3);
    layout->addWidget(serverLabel, 1, 0);
    layout->addWidget(m_server, 1, 1, 1, 2);
    layout->addWidget(m_secure, 1, 3);
    layout->addWidget(uriLabel, 2, 0);
    layout->addWidget(m_uri, 2, 1, 1, 3);
    layout->addWidget(methodLabel, 3, 0);
    layout->addWidget(m_method, 3, 1);
    auto* delays = new QHBoxLayout;
    delays->addWidget(m_delayLabel);
    delays->addWidget(m_delayFrom, 1);
    delays->addWidget(m_toLabel);
    delays->addWidget(m_delayTo, 1);
    delays->addWidget(m_secLabel);
    layout->addLayout(delays, 4, 0, 1, 4);

    const auto apply = [this] { applyForm(); };
    connect(m_name, &QLineEdit::textEdited, this, apply);
    connect(m_server, &QLineEdit::textEdited, this, apply);
    connect(m_secure, &QCheckBox::clicked, this, apply);
    connect(m_uri->lineEdit(), &QLineEdit::textEdited, this, apply);
    connect(m_uri, &QComboBox::activated, this, [this](int index) {
        m_uri->setEditText(m_uri->itemText(index));
        applyForm();
    });
    connect(m_method, &QComboBox::activated, this, apply);
    connect(m_delayFrom, &DelayField::valueEdited, this, [this] { delayEdited(true); });
    connect(m_delayTo, &DelayField::valueEdited, this, [this] { delayEdited(false); });
}

void RequestOptionsPanel::buildParameters(QGridLayout* layout) {
    m_params = new QTreeWidget(this);
    m_params->setRootIsDecorated(false);
    m_params->setHeaderLabels({tr("Name"), tr("Value")});
    m_params->setColumnWidth(0, 70);
    m_params->setColumnWidth(1, 220);
    m_params->setAccessibleName(tr("Parameters"));
    m_addParam = toolButton(this, tr("Add"), tr("Add Parameter"));
    m_editParam = toolButton(this, tr("Function"), tr("Edit Parameter"));
    m_deleteParam = toolButton(this, tr("Delete"), tr("Delete Parameter"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(tr("Parameters:"), this));
    buttons->addStretch();
    for (QToolButton* b : {m_addParam, m_editParam, m_deleteParam}) buttons->addWidget(b);
    layout->addLayout(buttons, 5, 0, 1, 4);
    layout->addWidget(m_params, 6, 0, 1, 4);
    layout->setRowStretch(6, 1);
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(2, 1);

    connect(m_params, &QTreeWidget::itemSelectionChanged, this,
            &RequestOptionsPanel::updateEnabling);
    connect(m_params, &QTreeWidget::itemDoubleClicked, this, &RequestOptionsPanel::editParameter);
    connect(m_addParam, &QToolButton::clicked, this, &RequestOptionsPanel::addParameter);
    connect(m_editParam, &QToolButton::clicked, this, &RequestOptionsPanel::editParameter);
    connect(m_deleteParam, &QToolButton::clicked, this, &RequestOptionsPanel::deleteParameter);
}

void RequestOptionsPanel::showRequest(int32_t id) {
    CRequestsContainer& requests = m_document.scenario().requests();
    Guard guard(requests);
    CRequestsContainer::Node* node = id ? requests.findNode(id) : nullptr;
    if (!node) {
        m_requestId = 0;
        clearForm();
        updateEnabling();
        return;
    }
    const CRequest& r = *node->request;
    m_loading = true;
    m_name->setText(QString::fromStdString(r.getName()));
    m_secure->setChecked(r.getSecure() == CRequest::kHttps);
    m_server->setText(QString::fromStdString(r.getServer()));
    m_delayFrom->setValue(r.getDelayFrom());
    m_delayTo->setValue(r.getDelayTo());
    m_method->setCurrentIndex(r.getMethod() - 1);
    const QString uri = QString::fromStdString(r.getUri());
    if (id != m_requestId) {
        m_uri->clear();
        for (const QString& item : {uri, kHref, kAction})
            if (m_uri->findText(item, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
                m_uri->addItem(item);
        m_uri->setCurrentIndex(0);
    }
    m_uri->setEditText(uri);
    // Long servers and URIs show their beginning, as they read.
    for (QLineEdit* field : {m_name, m_server, m_uri->lineEdit()}) field->setCursorPosition(0);
    fillParameters(r);
    m_requestId = id;
    m_loading = false;
    updateEnabling();
}

void RequestOptionsPanel::fillParameters(const CRequest& request) {
    m_params->clear();
    for (int32_t i = 0; i < request.paramCount(); ++i) {
        const CReqParam& p = *request.getParam(i);
        m_params->addTopLevelItem(new QTreeWidgetItem(
            {QString::fromStdString(p.getName()), QString::fromStdString(parameterValueText(p))}));
    }
}

void RequestOptionsPanel::setListEmpty(bool empty) {
    m_listEmpty = empty;
    if (empty) {
        m_requestId = 0;
        clearForm();
    }
    updateEnabling();
}

void RequestOptionsPanel::setUseDelays(bool use) {
    m_useDelays = use;
    updateEnabling();
}

void RequestOptionsPanel::applyForm() {
    if (m_loading || m_requestId == 0) return;
    {
        CRequestsContainer& requests = m_document.scenario().requests();
        Guard guard(requests);
        CRequestsContainer::Node* node = requests.findNode(m_requestId);
        if (!node) return;
        CRequest& r = *node->request;
        r.setName(m_name->text().toStdString());
        r.setUri(m_uri->currentText().toStdString());
        r.setServer(m_server->text().toStdString());
        r.setUseDelay(m_useDelays);
        r.setDelayFrom(m_delayFrom->value());
        r.setDelayTo(m_delayTo->value());
        r.setSecure(m_secure->isChecked() ? CRequest::kHttps : CRequest::kPlain);
        r.setMethod(m_method->currentIndex() + 1);
    }
    emit requestEdited(m_requestId);
}

void RequestOptionsPanel::delayEdited(bool fromChanged) {
    int32_t from = m_delayFrom->value(), to = m_delayTo->value();
    DelayFieldRule::follow(fromChanged, from, to);
    if (fromChanged && to != m_delayTo->value()) m_delayTo->setValue(to);
    if (!fromChanged && from != m_delayFrom->value()) m_delayFrom->setValue(from);
    applyForm();
}

void RequestOptionsPanel::addParameter() {
    const int32_t id = m_requestId;
    if (id == 0) return;
    // A new value is URL-encoded unless the user says otherwise.
    ParamDialog dialog(QString(), true, {CReqParamFunction()}, this);
    if (m_runDialog(dialog) != QDialog::Accepted) return;
    {
        CRequestsContainer& requests = m_document.scenario().requests();
        Guard guard(requests);
        CRequestsContainer::Node* node = requests.findNode(id);
        if (!node) return;
        auto param = std::make_unique<CReqParam>();
        param->setNameAndEncode(dialog.name().toStdString(), dialog.encode());
        for (const CReqParamFunction& c : dialog.components())
            param->insert(-1, std::make_unique<CReqParamFunction>(c));
        node->request->insertParam(-1, std::move(param));
        fillParameters(*node->request);
    }
    updateEnabling();
    emit requestEdited(id);
}

void RequestOptionsPanel::editParameter() {
    const int32_t id = m_requestId;
    QTreeWidgetItem* row = m_params->currentItem();
    if (id == 0 || !row) return;
    const std::string name = row->text(0).toStdString();
    ParamDialog::Components components;
    QString shownName;
    bool encode = false;
    {
        CRequestsContainer& requests = m_document.scenario().requests();
        Guard guard(requests);
        CRequestsContainer::Node* node = requests.findNode(id);
        const CReqParam* param = node ? node->request->findParam(name) : nullptr;
        if (!param) return;
        shownName = QString::fromStdString(param->getName());
        encode = param->getEncode();
        for (int32_t i = 0; i < param->count(); ++i) components.push_back(*param->get(i));
    }
    ParamDialog dialog(shownName, encode, std::move(components), this);
    if (m_runDialog(dialog) != QDialog::Accepted) return;
    {
        CRequestsContainer& requests = m_document.scenario().requests();
        Guard guard(requests);
        CRequestsContainer::Node* node = requests.findNode(id);
        CReqParam* param = node ? node->request->findParam(name) : nullptr;
        if (!param) return;
        param->deleteAll();
        for (const CReqParamFunction& c : dialog.components())
            param->insert(-1, std::make_unique<CReqParamFunction>(c));
        param->setNameAndEncode(dialog.name().toStdString(), dialog.encode());
        fillParameters(*node->request);
    }
    updateEnabling();
    emit requestEdited(id);
}

void RequestOptionsPanel::deleteParameter() {
    const int32_t id = m_requestId;
    QTreeWidgetItem* row = m_params->currentItem();
    if (id == 0 || !row) return;
    {
        CRequestsContainer& requests = m_document.scenario().requests();
        Guard guard(requests);
        CRequestsContainer::Node* node = requests.findNode(id);
        if (!node || !node->request->removeParam(row->text(0).toStdString())) return;
        fillParameters(*node->request);
    }
    updateEnabling();
    emit requestEdited(id);
}

void RequestOptionsPanel::clearForm() {
    m_loading = true;
    m_name->clear();
    m_server->clear();
    m_secure->setChecked(false);
    m_uri->clear();
    m_uri->setEditText(QString());
    m_method->setCurrentIndex(0);
    m_delayFrom->setValue(0);
    m_delayTo->setValue(0);
    m_params->clear();
    m_loading = false;
}

void RequestOptionsPanel::updateEnabling() {
    const bool enabled = !m_listEmpty;
    for (QWidget* w : std::initializer_list<QWidget*>{m_name, m_server, m_secure, m_uri, m_method,
                                                      m_params, m_addParam})
        w->setEnabled(enabled);
    const bool delays = enabled && m_useDelays;
    for (QWidget* w : std::initializer_list<QWidget*>{m_delayLabel, m_delayFrom, m_toLabel,
                                                      m_delayTo, m_secLabel})
        w->setEnabled(delays);
    const bool parameter =
        enabled && m_params->currentItem() && m_params->currentItem()->isSelected();
    m_editParam->setEnabled(parameter);
    m_deleteParam->setEnabled(parameter);
}

}  // namespace velk::editor
