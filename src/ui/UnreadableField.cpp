#include "ui/UnreadableField.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QVariant>

namespace halvetra {

namespace {

constexpr const char* MarkedProperty = "unreadableNumber";
constexpr const char* WatchedProperty = "unreadableNumberWatched";
constexpr const char* PaletteProperty = "unreadableNumberPalette";

// The text between the opening quote and the quote before " is not a valid".
QString quotedText(const QString& message, bool& found) {
    static const QString tail = QStringLiteral("' is not a valid ");
    const qsizetype end = message.lastIndexOf(tail);
    found = message.startsWith(QLatin1Char('\'')) && end > 0;
    return found ? message.mid(1, end - 1) : QString();
}

bool usable(const QLineEdit* edit) { return edit->isVisible() && edit->isEnabled() && !edit->isReadOnly(); }

}  // namespace

QLineEdit* FindUnreadableField(const QString& conversionMessage) {
    bool found = false;
    const QString text = quotedText(conversionMessage, found);
    if (!found) return nullptr;
    QWidgetList windows;
    if (QWidget* active = QApplication::activeWindow())
        windows << active;
    else
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) windows << w;
    QLineEdit* first = nullptr;
    int matches = 0;
    for (QWidget* window : windows) {
        for (QLineEdit* edit : window->findChildren<QLineEdit*>()) {
            if (!usable(edit) || edit->text() != text) continue;
            if (edit->hasFocus()) return edit;
            if (!first) first = edit;
            ++matches;
        }
    }
    // Empty boxes are common where nothing was typed yet: an empty text
    // points at a box only when it is the one empty box.
    return text.isEmpty() && matches > 1 ? nullptr : first;
}

void MarkUnreadableField(QLineEdit* field) {
    if (!field) return;
    if (!field->property(MarkedProperty).toBool()) {
        field->setProperty(PaletteProperty, QVariant::fromValue(field->palette()));
        QPalette marked = field->palette();
        marked.setColor(QPalette::Base, QColor(255, 214, 214));
        marked.setColor(QPalette::Text, QColor(120, 0, 0));
        field->setPalette(marked);
        field->setProperty(MarkedProperty, true);
    }
    if (!field->property(WatchedProperty).toBool()) {
        field->setProperty(WatchedProperty, true);
        QObject::connect(field, &QLineEdit::textChanged, field, [field] {
            if (!field->property(MarkedProperty).toBool()) return;
            field->setPalette(field->property(PaletteProperty).value<QPalette>());
            field->setProperty(MarkedProperty, false);
        });
    }
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

bool IsMarkedUnreadable(const QLineEdit* field) { return field && field->property(MarkedProperty).toBool(); }

}  // namespace halvetra
