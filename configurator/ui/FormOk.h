// The confirmation window: a message and a recommendation, "Продолжить" (1) and, when asking,
// "Отказаться" (2, the default button, answers Escape). Without a question "Продолжить" stands
// alone in the middle.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QHBoxLayout;

namespace kl40 {

class FormOk : public QDialog {
    Q_OBJECT
public:
    explicit FormOk(QWidget* parent = nullptr);

    void set(const QString& message, const QString& recommendation, bool ask);

    QPushButton* continueButton() const { return continue_; }
    QPushButton* refuseButton() const { return refuse_; }
    QString message() const;
    QString recommendation() const;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* message_;
    QLabel* recommendation_;
    QPushButton* continue_;
    QPushButton* refuse_;
};

}  // namespace kl40
