#pragma once
// A command that stops because a typed number cannot be read ("'%s' is not a
// valid floating point value") shows its message as every failure does; the
// field that holds the text also gets the focus, its text selected and
// highlighted until it is edited, so the user sees at once what to correct.
#include <QString>

class QLineEdit;

namespace halvetra {

// The field whose text the conversion message quotes: among the visible,
// enabled, editable fields of the active window (of every visible window
// when none is active), the one with the focus, else the first (for an empty
// text only the one empty field). Null when the message quotes no text or no
// field holds it (a value read from a file).
QLineEdit* FindUnreadableField(const QString& conversionMessage);

// Focus, selection and highlight; the highlight goes when the text changes.
void MarkUnreadableField(QLineEdit* field);

// Whether the field is highlighted as holding an unreadable number.
bool IsMarkedUnreadable(const QLineEdit* field);

}  // namespace halvetra
