#include "configurator/ui/field_widgets.h"

#include <QAbstractScrollArea>
#include <QStyle>

#include <algorithm>
#include <QEvent>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "configurator/ui/naming.h"

namespace kl40 {

ClickLabel::ClickLabel(const QString& text, QWidget* buddy, QWidget* parent) : QLabel(text, parent)
{
    setBuddy(buddy);
}

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    if (buddy() && buddy()->isEnabled())
        buddy()->setFocus(Qt::MouseFocusReason);
    QLabel::mousePressEvent(event);
}

CharsValidator::CharsValidator(QString allowed, QObject* parent)
    : QValidator(parent), allowed_(std::move(allowed))
{
}

QValidator::State CharsValidator::validate(QString& input, int&) const
{
    for (QChar c : input) {
        if (!allowed_.contains(c))
            return Invalid;
    }
    return Acceptable;
}

QValidator::State NameCharsValidator::validate(QString& input, int&) const
{
    for (QChar c : input) {
        if (isRefusedNameChar(c))
            return Invalid;
    }
    return Acceptable;
}

TypingLimitValidator::TypingLimitValidator(QLineEdit* edit, int limit)
    : QValidator(edit), edit_(edit), accepted_(static_cast<int>(edit->text().size())), limit_(limit)
{
    // The field reports its text after every change, typed or set by the program.
    connect(edit, &QLineEdit::textChanged, this,
            [this](const QString& text) { accepted_ = static_cast<int>(text.size()); });
}

void TypingLimitValidator::setText(const QString& text)
{
    accepted_ = static_cast<int>(text.size());
    edit_->setText(text);
}

QValidator::State TypingLimitValidator::validate(QString& input, int&) const
{
    if (input.size() <= limit_ || input.size() <= accepted_)
        return Acceptable;
    return Invalid;
}

QLineEdit* makeDigitEdit(int digits, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setMaxLength(digits);
    e->setValidator(new CharsValidator(QStringLiteral("0123456789"), e));
    return e;
}

UpDown::UpDown(QLineEdit* field, int min, int max, QWidget* parent)
    : QWidget(parent), field_(field), min_(min), max_(max)
{
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    auto* up = new QToolButton(this);
    auto* down = new QToolButton(this);
    up->setObjectName("up");
    down->setObjectName("down");
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up, down}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        lay->addWidget(b);
    }
    connect(up, &QToolButton::clicked, this, [this] { step(+1); });
    connect(down, &QToolButton::clicked, this, [this] { step(-1); });
    setFocusPolicy(Qt::NoFocus);
}

void UpDown::step(int delta)
{
    bool ok = false;
    int v = field_->text().toInt(&ok);
    if (!ok)
        v = min_;
    v = std::clamp(v, min_, max_);
    v = std::clamp(v + delta, min_, max_);
    field_->setText(QString::number(v));
    field_->setFocus(Qt::MouseFocusReason);
}

const QColor& FocusColour::focusColour()
{
    static const QColor yellow(Qt::yellow);
    return yellow;
}

void FocusColour::install(QWidget* widget, Kind kind)
{
    auto* f = new FocusColour(widget, kind);
    widget->installEventFilter(f);
    f->apply(widget, false);
}

void FocusColour::apply(QWidget* w, bool focused) const
{
    QPalette p = w->palette();
    const QPalette base = w->style() ? w->style()->standardPalette() : QPalette();
    if (kind_ == TextField) {
        p.setColor(QPalette::Base, focused ? focusColour() : base.color(QPalette::Base));
    } else {
        w->setAutoFillBackground(true);
        p.setColor(QPalette::Window, focused ? focusColour() : base.color(QPalette::Button));
    }
    w->setPalette(p);
}

bool FocusColour::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        if (auto* w = qobject_cast<QWidget*>(watched))
            apply(w, event->type() == QEvent::FocusIn);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kl40
