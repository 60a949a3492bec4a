#include "app/MacLineEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace kestrix {

MacLineEdit::MacLineEdit(KeyFilter filter, int maxCharacters, QWidget* parent)
    : QLineEdit(parent), m_filter(std::move(filter)), m_maxCharacters(maxCharacters) {}

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
    const bool typed = text.size() == 1 && text[0].isPrint() &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!typed) {
        QLineEdit::keyPressEvent(event);  // editing and movement keys, backspace among them
        return;
    }
    insertAsTyped(text);
    event->accept();
}

void MacLineEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    for (QAction* action : menu->actions()) {
        if (!action->text().contains(QStringLiteral("Paste"), Qt::CaseInsensitive) &&
            action->objectName() != QLatin1String("edit-paste"))
            continue;
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
