#include "configurator/ui/FormError.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "configurator/ui/dialogs.h"

namespace kl40 {

FormError::FormError(QWidget* parent) : QDialog(parent)
{
    setObjectName("FormError");
    setWindowTitle(QStringLiteral("Выявлена ошибка:"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xE1));  // light yellow
    setPalette(p);
    setAutoFillBackground(true);

    auto* errorCaption = new QLabel(QStringLiteral("Ошибка:"), this);
    errorCaption->setObjectName("L_Error");
    auto* recCaption = new QLabel(QStringLiteral("Рекомендация:"), this);
    recCaption->setObjectName("L_Recommendation");
    QFont bold = errorCaption->font();
    bold.setBold(true);
    errorCaption->setFont(bold);
    recCaption->setFont(bold);

    message_ = new QLabel(this);
    message_->setObjectName("L_ErrorText");
    recommendation_ = new QLabel(this);
    recommendation_->setObjectName("L_RecommendationText");
    for (QLabel* l : {message_, recommendation_}) {
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setMinimumWidth(420);
        l->setTextFormat(Qt::PlainText);
    }

    continue_ = new QPushButton(QStringLiteral("Продолжить"), this);
    continue_->setObjectName("B_Continue");
    correct_ = new QPushButton(QStringLiteral("Исправить"), this);
    correct_->setObjectName("B_Correct");
    default_ = new QPushButton(QStringLiteral("Установить \"по-умолчанию\""), this);
    default_->setObjectName("B_SetDefault");
    correct_->setDefault(true);
    continue_->setAutoDefault(false);
    default_->setAutoDefault(false);
    correct_->setAutoDefault(false);

    connect(continue_, &QPushButton::clicked, this, [this] { done(kResultContinue); });
    connect(correct_, &QPushButton::clicked, this, [this] { done(kResultCorrect); });
    connect(default_, &QPushButton::clicked, this, [this] { done(kResultContinue); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(continue_);
    buttons->addWidget(default_);
    buttons->addWidget(correct_);
    buttons->addStretch(1);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(errorCaption);
    lay->addWidget(message_);
    lay->addSpacing(8);
    lay->addWidget(recCaption);
    lay->addWidget(recommendation_);
    lay->addSpacing(12);
    lay->addLayout(buttons);
    lay->setSizeConstraint(QLayout::SetFixedSize);
}

void FormError::setTexts(const QString& message, const QString& recommendation)
{
    message_->setText(message);
    recommendation_->setText(recommendation);
}

void FormError::setGeneral(const QString& message, const QString& recommendation,
                           bool offerCorrect, bool offerContinue)
{
    setTexts(message, recommendation);
    default_->setVisible(false);
    correct_->setVisible(offerCorrect);
    continue_->setVisible(offerContinue);
}

void FormError::setValidation(const QString& message, const QString& recommendation,
                              bool offerDefault)
{
    setTexts(message, recommendation);
    continue_->setVisible(false);
    correct_->setVisible(true);
    default_->setVisible(offerDefault);
}

QString FormError::message() const { return message_->text(); }
QString FormError::recommendation() const { return recommendation_->text(); }

void FormError::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!correct_->isHidden())
        correct_->setFocus(Qt::OtherFocusReason);
    else if (!continue_->isHidden())
        continue_->setFocus(Qt::OtherFocusReason);
}

void FormError::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        done(correct_->isHidden() ? kResultClosed : kResultCorrect);
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // Enter presses the focused button, or "Исправить" as the default button.
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (focused && focused->isVisible()) {
            focused->click();
            return;
        }
        if (!correct_->isHidden()) {
            correct_->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void FormError::reject()
{
    done(kResultClosed);
}

}  // namespace kl40
