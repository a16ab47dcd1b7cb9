#pragma once
// A numeric field with up and down buttons whose text is kept as typed: a value outside the
// range is pulled to the nearer bound only when the field loses the focus, and a text that is
// not a number stays until then (and after: it reads as the minimum).

#include <QAbstractSpinBox>

class TSpinEdit : public QAbstractSpinBox
{
    Q_OBJECT
    Q_PROPERTY(int minValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(int maxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(int maxLength READ MaxLength WRITE setMaxLength)
    Q_PROPERTY(int value READ Value WRITE setValue)

public:
    explicit TSpinEdit(QWidget *parent = nullptr);

    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    int MaxLength() const;
    void setMinValue(int v) { min_ = v; }
    void setMaxValue(int v) { max_ = v; }
    void setMaxLength(int n);

    // The text read as an integer, or the minimum when it is none; not clamped.
    int Value() const;
    void setValue(int v);
    QString Text() const;
    void SetText(const QString &text);

    void stepBy(int steps) override;
    QValidator::State validate(QString &input, int &pos) const override;

signals:
    void Changed(); // the text changed, by typing, stepping or code
    void Entered(); // Return or Enter: the value is taken as it would be on leaving the field

protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Clamp();

    int min_ = 0;
    int max_ = 100;
};
