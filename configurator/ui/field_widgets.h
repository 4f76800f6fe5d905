// Small widgets and input rules shared by the configurator's windows.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QValidator>
#include <QWidget>

class QToolButton;

namespace kl40 {

// A label that puts the focus into its buddy when clicked.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    ClickLabel(const QString& text, QWidget* buddy, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// Accepts only the characters of `allowed` (every other key is discarded), up to maxLength.
class CharsValidator : public QValidator {
    Q_OBJECT
public:
    CharsValidator(QString allowed, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

private:
    QString allowed_;
};

// Refuses the characters that cannot stand in a file name: " * / : < > ? \ |.
class NameCharsValidator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// Limits typing to `limit` characters while a longer text set by the program may stay (and
// shrink).
class TypingLimitValidator : public QValidator {
    Q_OBJECT
public:
    TypingLimitValidator(QLineEdit* edit, int limit);
    State validate(QString& input, int& pos) const override;
    // Sets a text of any length into the field (the program's own texts are not limited).
    void setText(const QString& text);

private:
    QLineEdit* edit_;
    int accepted_ = 0;  // length of the field's text after its last change
    int limit_;
};

// A digit field: only digits (and backspace) reach it, at most `digits` of them.
QLineEdit* makeDigitEdit(int digits, QWidget* parent = nullptr);

// The up/down control beside a number field: steps the field's value within [min, max]; a
// click puts the focus into the field.
class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(QLineEdit* field, int min, int max, QWidget* parent = nullptr);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void stepUp() { step(+1); }
    void stepDown() { step(-1); }

private:
    void step(int delta);

    QLineEdit* field_;
    int min_;
    int max_;
};

// Gives a widget a yellow background while it has the focus; on leaving, text fields and lists
// take the window colour back, choices the button-face colour.
class FocusColour : public QObject {
    Q_OBJECT
public:
    enum Kind { TextField, Choice };
    static void install(QWidget* widget, Kind kind);
    static const QColor& focusColour();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FocusColour(QObject* parent, Kind kind) : QObject(parent), kind_(kind) {}
    void apply(QWidget* w, bool focused) const;
    Kind kind_;
};

}  // namespace kl40
