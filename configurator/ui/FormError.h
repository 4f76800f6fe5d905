// The error window: a fault, a recommendation and the choices "Продолжить" (1), "Исправить" (4,
// the default button, answers Escape) and "Установить \"по-умолчанию\"" (1). Closing it by its
// frame gives 2; Escape while "Исправить" is hidden does the same.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kl40 {

class FormError : public QDialog {
    Q_OBJECT
public:
    explicit FormError(QWidget* parent = nullptr);

    // General form: "Установить \"по-умолчанию\"" hidden; "Исправить" shown exactly when
    // offerCorrect; "Продолжить" exactly when offerContinue.
    void setGeneral(const QString& message, const QString& recommendation, bool offerCorrect,
                    bool offerContinue);
    // Validation form: "Продолжить" hidden, "Исправить" shown, "Установить \"по-умолчанию\""
    // exactly when offerDefault.
    void setValidation(const QString& message, const QString& recommendation, bool offerDefault);

    QPushButton* continueButton() const { return continue_; }
    QPushButton* correctButton() const { return correct_; }
    QPushButton* defaultButton() const { return default_; }
    QString message() const;
    QString recommendation() const;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setTexts(const QString& message, const QString& recommendation);
    void updateLayout();

    QLabel* message_;
    QLabel* recommendation_;
    QPushButton* continue_;
    QPushButton* correct_;
    QPushButton* default_;
};

}  // namespace kl40
