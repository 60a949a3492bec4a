#include "app/MacLineEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QValidator>

namespace kestrix {

namespace {

// Upper-case hex digits, at most `limit` of them.
class HexDigitsValidator : public QValidator {
public:
    HexDigitsValidator(int limit, QObject* parent) : QValidator(parent), m_limit(limit) {}
    State validate(QString& text, int&) const override {
        if (text.size() > m_limit) return Invalid;
        for (QChar c : text)
            if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
                return Invalid;
        return Acceptable;
    }

private:
    int m_limit;
};

}  // namespace

MacLineEdit::MacLineEdit(KeyFilter filter, int maxCharacters, QWidget* parent)
    : QLineEdit(parent), m_filter(std::move(filter)), m_maxCharacters(maxCharacters) {
    setValidator(new HexDigitsValidator(maxCharacters, this));
}

void MacLineEdit::insertAsTyped(const QString& text) {
    QString filtered;
    for (QChar key : text) {
        m_filter(key);
        if (!key.isNull() && key != QChar(8)) filtered += key;
    }
    if (filtered.isEmpty()) return;
    const qsizetype kept = this->text().size() - selectedText().size();
    if (kept + filtered.size() > m_maxCharacters) return;
    insert(filtered);
    emit textEdited(this->text());
}

void MacLineEdit::pasteFiltered() {
    if (!isReadOnly()) insertAsTyped(QApplication::clipboard()->text());
}

void MacLineEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        pasteFiltered();
        event->accept();
        return;
    }
    const QString text = event->text();
    const bool printable = text.size() == 1 && text[0].isPrint();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (printable && (modifiers & (Qt::AltModifier | Qt::MetaModifier))) {
        event->ignore();  // a shortcut of the window, never text of the field
        return;
    }
    if (!printable || (modifiers & Qt::ControlModifier)) {
        QLineEdit::keyPressEvent(event);  // editing and movement keys, backspace among them
        return;
    }
    insertAsTyped(text);
    event->accept();
}

void MacLineEdit::mouseReleaseEvent(QMouseEvent* event) {
    // X11 pastes the primary selection on a middle click.
    if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
        if (!isReadOnly()) {
            deselect();
            insertAsTyped(QApplication::clipboard()->text(QClipboard::Selection));
        }
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void MacLineEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString committed = event->commitString();
    if (committed.isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent composing(event->preeditString(), event->attributes());
    QLineEdit::inputMethodEvent(&composing);
    insertAsTyped(committed);
    event->accept();
}

void MacLineEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    // Qt names the paste action by its text alone, in the language it speaks.
    const QString pasteText = QCoreApplication::translate("QLineEdit", "&Paste");
    for (QAction* action : menu->actions()) {
        if (!action->text().startsWith(pasteText)) continue;
        action->disconnect();
        connect(action, &QAction::triggered, this, &MacLineEdit::pasteFiltered);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void MacLineEdit::dropEvent(QDropEvent* event) {
    if (event->mimeData()->hasText()) insertAsTyped(event->mimeData()->text());
    event->acceptProposedAction();
}

}  // namespace kestrix
