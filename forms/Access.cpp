#include "Access.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QWidget>

QString PlainText(const QString &caption)
{
    static const QRegularExpression key(R"(\(&[^)]\))");
    QString text = caption;
    text.remove(key);
    text.remove(QRegularExpression("&(?!&)"));
    text.replace("&&", "&");
    while (text.endsWith(u'：') || text.endsWith(u':')) {
        text.chop(1);
    }
    return text.trimmed();
}

void SetTabOrder(std::initializer_list<QWidget *> controls)
{
    QWidget *before = nullptr;
    for (QWidget *control : controls) {
        if (control->focusPolicy() == Qt::NoFocus) {
            control->setFocusPolicy(Qt::StrongFocus);
        }
        if (before != nullptr) {
            QWidget::setTabOrder(before, control);
        }
        before = control;
    }
}

void NameControls(std::initializer_list<std::pair<QWidget *, QString>> names)
{
    for (const auto &[control, name] : names) {
        control->setAccessibleName(name);
    }
}

void NameButtons(const QWidget &root)
{
    for (QAbstractButton *button : root.findChildren<QAbstractButton *>()) {
        if (!button->text().isEmpty()) {
            button->setAccessibleName(PlainText(button->text()));
        }
    }
    for (QGroupBox *group : root.findChildren<QGroupBox *>()) {
        group->setAccessibleName(group->title()); // not the title of the group around it
    }
    for (QLabel *label : root.findChildren<QLabel *>()) {
        if (label->text().contains('&')) { // read as written, its access key left out
            label->setAccessibleName(PlainText(label->text()));
        }
    }
}

void SetCaption(QAbstractButton *button, const QString &caption)
{
    button->setText(caption);
    button->setAccessibleName(PlainText(caption));
}
