#pragma once
// What a keyboard and a screen reader need of the windows: Tab through every control in reading
// order, each named after its label, captions read without their access keys.

#include <QString>

#include <initializer_list>
#include <utility>

class QAbstractButton;
class QWidget;

// A caption or a label as it is read: without its access key ("(&O)" or "&") and its colon.
QString PlainText(const QString &caption);

// Tab goes through the controls in this order; each takes the focus by Tab and by click.
void SetTabOrder(std::initializer_list<QWidget *> controls);

// Each control is named after its label, for a screen reader.
void NameControls(std::initializer_list<std::pair<QWidget *, QString>> names);

// Every button under root is named after its caption, every label with an access key after
// its text.
void NameButtons(const QWidget &root);

// A new caption for a button, and its name with it.
void SetCaption(QAbstractButton *button, const QString &caption);
