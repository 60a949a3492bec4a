#include "tests/support/DrawnTextLog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyleOptionFrame>

namespace kestrix {

namespace {

QString ControlName(const QWidget& widget) {
    for (const QWidget* w = &widget; w; w = w->parentWidget())
        if (!w->objectName().isEmpty()) return w->objectName();
    return QStringLiteral("?");
}

bool LabelFits(const QLabel& label) {
    if (label.wordWrap()) return label.heightForWidth(label.width()) <= label.height();
    const QSize wanted = label.sizeHint();
    return wanted.width() <= label.width() && wanted.height() <= label.height();
}

bool ButtonFits(const QAbstractButton& button) {
    return button.sizeHint().width() <= button.width() && button.fontMetrics().height() <= button.height();
}

// The room QLineEdit gives its text: the style's contents rectangle less the
// text margins and the two pixels it keeps free on either side.
bool LineEditFits(const QLineEdit& edit) {
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.rect = edit.rect();
    option.lineWidth = edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    const QRect contents =
        edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit).marginsRemoved(edit.textMargins());
    constexpr int kHorizontalMargin = 2;
    const int room = contents.width() - 2 * kHorizontalMargin;
    return edit.fontMetrics().horizontalAdvance(edit.displayText()) + 1 <= room &&
           edit.fontMetrics().height() <= contents.height();
}

}  // namespace

std::optional<DrawnText> DrawnTextOf(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->text().isEmpty() && !label->pixmap().isNull()) return std::nullopt;
        return DrawnText{ControlName(widget), label->text(), LabelFits(*label)};
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        if (button->text().isEmpty()) return std::nullopt;  // arrows and icons
        return DrawnText{ControlName(widget), button->text(), ButtonFits(*button)};
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(&widget))
        return DrawnText{ControlName(widget), edit->displayText(), LineEditFits(*edit)};
    return std::nullopt;
}

void DrawnTextLog::InstallFromEnvironment(QApplication& application) {
    const QString path = qEnvironmentVariable("KESTRIX_DRAWN_TEXT_LOG");
    if (path.isEmpty()) return;
    auto* log = new DrawnTextLog(path, &application);
    application.installEventFilter(log);
}

DrawnTextLog::DrawnTextLog(const QString& path, QObject* parent) : QObject(parent), m_file(path) {
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        qWarning("KESTRIX_DRAWN_TEXT_LOG: cannot open %s", qPrintable(path));
}

bool DrawnTextLog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Destroy) m_lastLine.remove(watched);
    if (event->type() != QEvent::Paint || !watched->isWidgetType() || !m_file.isOpen()) return false;
    const auto* widget = static_cast<const QWidget*>(watched);
    if (const auto drawn = DrawnTextOf(*widget)) {
        const QRect place(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
        const QString line = widget->window()->windowTitle() + QLatin1Char('\t') + drawn->control + QLatin1Char('\t') +
                             QStringLiteral("%1,%2,%3,%4\t").arg(place.x()).arg(place.y()).arg(place.width()).arg(place.height()) +
                             (drawn->fits ? QStringLiteral("fits") : QStringLiteral("clipped")) + QLatin1Char('\t') +
                             QString(drawn->text).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char('\n');
        QString& last = m_lastLine[watched];
        if (line != last) {
            last = line;
            m_file.write(line.toUtf8());
            m_file.flush();
        }
    }
    return false;
}

}  // namespace kestrix
