#pragma once
// The text part of the controller MAC field. What the operator types, pastes
// (from the clipboard, the X11 selection or a drag) or commits through an input
// method goes through the key filter one character at a time, and the field
// takes no more than its limit; text set by the program (a list choice) is
// taken as it is. A validator refuses any other edit that would leave more
// than the limit or anything but upper-case hex digits.

#include <QLineEdit>
#include <functional>

namespace kestrix {

class MacLineEdit : public QLineEdit {
    Q_OBJECT
public:
    using KeyFilter = std::function<void(QChar& key)>;
    MacLineEdit(KeyFilter filter, int maxCharacters, QWidget* parent = nullptr);

    // Inserts text as if typed: filtered, and refused whole when it would not fit.
    void insertAsTyped(const QString& text);
    void pasteFiltered();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    KeyFilter m_filter;
    int m_maxCharacters;
};

}  // namespace kestrix
