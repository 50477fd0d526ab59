#pragma once
// AddressPatternEdit: the address pattern of proxy emulation as four fields
// separated by dots, like an IPv4 address entry.  Typing follows
// AddressPatternRule: numbers 0 to 255 or the macros "$C1", "$C2", "$R1", "$R2".
//
// User-interface thread only.
#include <QWidget>
#include <array>

class QLineEdit;

namespace velk::editor {

class AddressPatternEdit : public QWidget {
    Q_OBJECT
public:
    explicit AddressPatternEdit(QWidget* parent = nullptr);

    // The four field texts joined with ".", trailing dots trimmed.
    QString pattern() const;
    // Splits pattern into the fields; emits nothing.
    void setPattern(const QString& pattern);
    QLineEdit* field(int index) const { return m_fields[size_t(index)]; }

signals:
    // The user changed a field.
    void patternEdited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool typeInto(int index, const QString& text);

    std::array<QLineEdit*, 4> m_fields{};
};

}  // namespace velk::editor
