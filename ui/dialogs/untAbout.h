#pragma once
// The about box: a small borderless panel about the program that closes on a
// click or on Enter or Escape, and whose e-mail line opens a new message in
// the user's mail program.
#include <QDialog>

class QLabel;
class QFrame;

class TFAbout : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 291;
    static constexpr int kClientHeight = 202;

    // The project's address, shown on the e-mail line and used in the link.
    static QString MailAddress();
    // "mailto:<address>?subject=Telefonski imenik Vidra&body=Poruka:"
    static QString MailLink();

    explicit TFAbout(QWidget* parent = nullptr);

    QWidget* Shape;
    QLabel* Image;
    QLabel* Label1;
    QLabel* Label2;
    QWidget* Line;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label5;
    QLabel* Label6;
    QFrame* pnAbout;
    QLabel* Label7;
    QLabel* Label11;
    QLabel* Label8;

    void FormClick();
    void ShapeMouseDown();
    void Label8Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Creates the box centred over a window (none: where it falls), shows it
// modally and destroys it.
void ShowAbout(const QWidget* over);
