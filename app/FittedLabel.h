#pragma once
// A label of the window: it takes the size of its caption, so that a counter
// that grows from "0" to "196608" is drawn whole.

#include <QLabel>

namespace kestrix {

class FittedLabel : public QLabel {
public:
    FittedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) { adjustSize(); }
    void setText(const QString& text) {
        QLabel::setText(text);
        adjustSize();
    }
};

}  // namespace kestrix
