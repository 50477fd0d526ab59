#pragma once
// CRecorderFormView: the recorder page.  The browser above, the list of the
// scenario's recorded requests below, with a split the user drags (the
// browser keeps at least 150 pixels, the list 50; the position is kept as
// "LastSplit" under "Layout/Recorder").  Above the browser: Back, Forward,
// Stop, the address box and Go.  Below the list: Delete (also the Delete key
// in the list) and Clear.
//
// The page owns the program's recording hook, which feeds the open scenario's
// request container; after each capture the list is rebuilt by a queued call
// and scrolled to the newest request.  User-interface thread only.
#include <QPointer>

#include "app/recorder/recorder_hook.h"
#include "gui/shell/page.h"

class QLineEdit;
class QPushButton;
class QSplitter;
class QToolButton;
class QTreeWidget;

namespace velk::model {
class ScenarioDocument;
}

namespace velk::recorder {

class CMyWebView;

class CRecorderFormView : public shell::Page {
    Q_OBJECT
public:
    static constexpr int kMinBrowserHeight = 150;
    static constexpr int kMinListHeight = 50;
    static constexpr int kDefaultListHeight = 150;
    static constexpr int kMaxAddressLength = 1024;

    explicit CRecorderFormView(model::ScenarioDocument& document, QWidget* parent = nullptr);
    ~CRecorderFormView() override;

    RecorderHook& hook() { return m_hook; }
    model::ScenarioDocument& document() { return m_document; }
    CMyWebView* browser() const { return m_browser; }
    QLineEdit* addressBox() const { return m_address; }
    QTreeWidget* requestList() const { return m_list; }
    QSplitter* splitter() const { return m_splitter; }
    // The hook feeds the document's requests again, with request numbers from
    // 1 when renumber is set (a new scenario).
    void reattach(bool renumber);
    // The browser shows an empty page.
    void blank();

    void activatePage() override;
    void resetPage() override;

public slots:
    // Rebuilds the list from the container; then shows its last row.
    void refresh(bool scrollToEnd = false);
    void go();
    void deleteSelected();
    void clearAll();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateButtons();
    void saveSplit();
    void restoreSplit();

    model::ScenarioDocument& m_document;
    RecorderHook m_hook;
    CMyWebView* m_browser = nullptr;
    QLineEdit* m_address = nullptr;
    QToolButton* m_back = nullptr;
    QToolButton* m_forward = nullptr;
    QToolButton* m_stop = nullptr;
    QPushButton* m_go = nullptr;
    QSplitter* m_splitter = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_clear = nullptr;
    bool m_splitRestored = false;
};

}  // namespace velk::recorder
