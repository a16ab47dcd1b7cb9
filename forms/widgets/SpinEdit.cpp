#include "widgets/SpinEdit.h"

#include "plan/TimeText.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

using namespace mp3core;

TSpinEdit::TSpinEdit(QWidget *parent) : QAbstractSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    lineEdit()->setText("0");
    connect(lineEdit(), &QLineEdit::textChanged, this, &TSpinEdit::Changed);
}

int TSpinEdit::MaxLength() const
{
    return lineEdit()->maxLength();
}

void TSpinEdit::setMaxLength(int n)
{
    lineEdit()->setMaxLength(n);
}

int TSpinEdit::Value() const
{
    return StrToIntDef(Text().toStdString(), min_);
}

void TSpinEdit::setValue(int v)
{
    SetText(QString::number(v));
}

QString TSpinEdit::Text() const
{
    return lineEdit()->text();
}

void TSpinEdit::SetText(const QString &text)
{
    lineEdit()->setText(text);
}

void TSpinEdit::stepBy(int steps)
{
    setValue(std::clamp(Value() + steps, min_, max_));
    selectAll();
}

QValidator::State TSpinEdit::validate(QString &input, int &) const
{
    // Digits, signs and the decimal separator may be typed; what they make is judged later.
    const bool allowed = std::all_of(input.begin(), input.end(), [](QChar c) {
        return c.isDigit() || c == '+' || c == '-' || c == '.' || c == ' ';
    });
    return allowed ? QValidator::Acceptable : QValidator::Invalid;
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    const int v = Value();
    StepEnabled e = StepNone;
    if (v < max_) {
        e |= StepUpEnabled;
    }
    if (v > min_) {
        e |= StepDownEnabled;
    }
    return e;
}

void TSpinEdit::Clamp()
{
    int32_t v = 0;
    if (TryStrToInt(Text().toStdString(), v) && (v < min_ || v > max_)) {
        setValue(std::clamp<int>(v, min_, max_));
    }
}

void TSpinEdit::focusOutEvent(QFocusEvent *event)
{
    Clamp();
    QAbstractSpinBox::focusOutEvent(event);
}

void TSpinEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Clamp();
        emit Entered();
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}
