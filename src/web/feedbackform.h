// The feedback dialog: like or dislike, a free text and an optional e-mail address, posted to the
// maker's web service, with the outcome reported in a message box.
#pragma once

#include "web/postform.h"

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// What the dialog needs from the main window.
struct FeedbackConfig {
    QString AppTitle;
    QString AppProductName;
    QString AppVersion;
    QString Host; // the maker's web host, without scheme
    PostTimeouts Timeouts = FeedbackTimeouts;
};

class TFeedbackForm : public QDialog
{
    Q_OBJECT

public:
    explicit TFeedbackForm(FeedbackConfig config, QWidget* parent = nullptr);
    ~TFeedbackForm() override;

    bool LikeChosen() const { return likeChosen_; }
    bool DislikeChosen() const { return dislikeChosen_; }

    // Components, named as the tests know them; PanelNText is the caption of panel N.
    QFrame* Panel3 = nullptr;
    QFrame* Panel4 = nullptr;
    QLabel* Panel4Text = nullptr;
    QLabel* Image1 = nullptr;
    QFrame* Panel5 = nullptr;
    QLabel* Panel5Text = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;

public slots:
    void BitBtn1Click();
    void Image1MouseDown();
    void Image2MouseDown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    QFrame* MakeChoicePanel(const char* name, const char* imageName, const char* picture,
                            QLabel** image, QLabel** text);
    void ShowChoice(QFrame* panel, bool chosen);
    QString FeedbackText() const;

    FeedbackConfig config_;
    bool likeChosen_ = false;
    bool dislikeChosen_ = false;
};

// True when `address` looks like an e-mail address: a local part of letters, digits and "_.+-",
// an at sign and a domain of labels that ends in a letter or digit.
bool IsValidEmail(const QString& address);
