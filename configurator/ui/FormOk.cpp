#include "configurator/ui/FormOk.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "configurator/ui/dialogs.h"

namespace kl40 {

FormOk::FormOk(QWidget* parent) : QDialog(parent)
{
    setObjectName("FormOk");
    setWindowTitle(QString());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xC0, 0xFF, 0xC0));  // green
    setPalette(p);
    setAutoFillBackground(true);

    message_ = new QLabel(this);
    message_->setObjectName("L_Message");
    recommendation_ = new QLabel(this);
    recommendation_->setObjectName("L_Recommendation");
    QFont bold = message_->font();
    bold.setBold(true);
    message_->setFont(bold);
    for (QLabel* l : {message_, recommendation_}) {
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignHCenter);
        l->setMinimumWidth(360);
        l->setTextFormat(Qt::PlainText);
    }

    continue_ = new QPushButton(QStringLiteral("Продолжить"), this);
    continue_->setObjectName("B_Continue");
    refuse_ = new QPushButton(QStringLiteral("Отказаться"), this);
    refuse_->setObjectName("B_Refuse");
    continue_->setAutoDefault(false);
    refuse_->setAutoDefault(false);
    refuse_->setDefault(true);
    connect(continue_, &QPushButton::clicked, this, [this] { done(kResultContinue); });
    connect(refuse_, &QPushButton::clicked, this, [this] { done(kResultClosed); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(continue_);
    buttons->addWidget(refuse_);
    buttons->addStretch(1);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(message_);
    lay->addWidget(recommendation_);
    lay->addSpacing(12);
    lay->addLayout(buttons);
    lay->setSizeConstraint(QLayout::SetFixedSize);
}

void FormOk::set(const QString& message, const QString& recommendation, bool ask)
{
    message_->setText(message);
    recommendation_->setText(recommendation);
    refuse_->setVisible(ask);
    refuse_->setDefault(ask);
    continue_->setDefault(!ask);
}

QString FormOk::message() const { return message_->text(); }
QString FormOk::recommendation() const { return recommendation_->text(); }

void FormOk::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (parentWidget()) {
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - QPoint(width() / 2, height() / 2));
    }
    if (!refuse_->isHidden())
        refuse_->setFocus(Qt::OtherFocusReason);
    else
        continue_->setFocus(Qt::OtherFocusReason);
}

void FormOk::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        done(kResultClosed);
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (focused && focused->isVisible()) {
            focused->click();
            return;
        }
        (refuse_->isHidden() ? continue_ : refuse_)->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FormOk::reject()
{
    done(kResultClosed);
}

}  // namespace kl40
