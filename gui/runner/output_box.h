#pragma once
// OutputBox: the run output, read-only on white, always scrolled to its last
// line.  A refresh appends only what the log gained since the last one, so a
// long run's output costs the window the new lines, not the whole log.
// User-interface thread only.
#include <QPlainTextEdit>
#include <string>

namespace velk::runner {

class OutputBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit OutputBox(QWidget* parent = nullptr);

    // Shows log (the whole output so far): its new end is appended; a log
    // shorter than what is shown is shown anew.
    void showLog(const std::string& log);
    void clearLog();

private:
    size_t m_shown = 0;  // bytes of the log already shown
};

}  // namespace velk::runner
