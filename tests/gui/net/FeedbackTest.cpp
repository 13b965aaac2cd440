// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <json/json.h>
#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>

#include "core/app/UserAccount.h"
#include "gui/net/FeedbackDialog.h"
#include "gui/net/NetWindowSupport.h"
#include "support/GuiTestEnv.h"

namespace {

using nettest::LocalServer;

constexpr char kContentMissing[] = "反馈内容不能为空!";
constexpr char kContactMissing[] = "联系方式不能为空!";
constexpr char kSignInFirst[] = "请先登录后进行反馈!";

Json::Value ParseJson(const std::string& text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    reader->parse(text.data(), text.data() + text.size(), &value, &errors);
    return value;
}

class FeedbackTest : public ::testing::Test {
protected:
    void SetUp() override { UserAccount::Instance().SignInWithMobile("13800138000"); }
    void TearDown() override
    {
        delete dialog.data();
        UserAccount::Instance().SignOut();
    }

    void Open(const QString& address)
    {
        dialog = new FeedbackDialog(&owner, address);
        dialog->Create();
        dialog->CenterWindow();
        dialog->show();
    }
    void Fill(const QString& content, const QString& contact)
    {
        dialog->FindControl<QPlainTextEdit>("feedbackContent")->setPlainText(content);
        dialog->FindControl<QLineEdit>("feedbackContact")->setText(contact);
    }
    // Clicks submit and returns the outcome the prompt box showed.
    QString Submit()
    {
        QString seen;
        testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &seen, 3000);
        dialog->FindControl<QAbstractButton>("feedbackBtn")->click();
        testenv::WaitUntil([] { return false; }, 50);
        return seen;
    }
    QString Tips() const { return dialog->FindControl<QLabel>("feedbackErrorTips")->text(); }

    QWidget owner;
    testenv::FakeShell shell;
    QPointer<FeedbackDialog> dialog;
};

struct ValidationCase {
    const char* content;
    const char* contact;
    bool signedIn;
    const char* tips;
};

class FeedbackValidationTest : public FeedbackTest,
                               public ::testing::WithParamInterface<ValidationCase> {};

TEST_P(FeedbackValidationTest, ShowsTheFirstReasonAndSendsNothing)
{
    const ValidationCase& c = GetParam();
    if (!c.signedIn) UserAccount::Instance().SignOut();
    LocalServer local;
    std::atomic<int> requests{0};
    local.server().Post("/v2/feedback", [&](const httplib::Request&, httplib::Response& response) {
        ++requests;
        response.set_content("{\"ret\":0}", "application/json");
    });
    local.Start();

    Open(local.Address());
    Fill(QString::fromUtf8(c.content), QString::fromUtf8(c.contact));
    dialog->FindControl<QAbstractButton>("feedbackBtn")->click();
    testenv::WaitUntil([] { return false; }, 50);
    EXPECT_EQ(testenv::FindShownWindow("PromptBoxDialog"), nullptr);
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Tips(), QString::fromUtf8(c.tips));
    EXPECT_EQ(requests, 0);
}

INSTANTIATE_TEST_SUITE_P(Reasons, FeedbackValidationTest,
                         ::testing::Values(ValidationCase{"", "", true, kContentMissing},
                                           ValidationCase{"画面卡顿", "", true, kContactMissing},
                                           ValidationCase{"画面卡顿", "a@b.cn", false,
                                                          kSignInFirst},
                                           // blanks are text: the checks go on to the sign-in
                                           ValidationCase{"  ", " ", false, kSignInFirst}));

struct OutcomeCase {
    const char* name;
    const char* reply;  // null: no server at all
    const char* outcome;
};

class FeedbackOutcomeTest : public FeedbackTest,
                            public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(FeedbackOutcomeTest, TellsTheUserAndCloses)
{
    const OutcomeCase& c = GetParam();
    LocalServer local;
    httplib::Request seen;
    local.server().Post("/v2/feedback",
                        [&](const httplib::Request& request, httplib::Response& response) {
                            seen = request;
                            response.set_content(c.reply ? c.reply : "", "application/json");
                        });
    local.Start();
    const QString address =
        c.reply ? local.Address() : QString("http://127.0.0.1:%1").arg(nettest::UnusedPort());

    Open(address);
    Fill("压缩后没有声音", "QQ 10001");
    EXPECT_EQ(Submit(), QString::fromUtf8(c.outcome));
    EXPECT_TRUE(testenv::WaitUntil([this] { return dialog.isNull(); }, 2000));

    if (c.reply) {
        EXPECT_EQ(seen.get_header_value("Content-Type"), "application/json;charset=UTF-8");
        const Json::Value body = ParseJson(seen.body);
        EXPECT_EQ(body["content"].asString(), "压缩后没有声音");
        EXPECT_EQ(body["contact"].asString(), "QQ 10001");
        EXPECT_EQ(body.size(), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FeedbackOutcomeTest,
    ::testing::Values(OutcomeCase{"Accepted", "{\"ret\":0}", "反馈信息已提交!"},
                      OutcomeCase{"Refused", "{\"ret\":1}", "未知错误"},
                      OutcomeCase{"NoRet", "{\"msg\":\"ok\"}", "未知错误"},
                      OutcomeCase{"NotJson", "<html>busy</html>", "网络错误!"},
                      OutcomeCase{"Empty", "", "网络错误!"},
                      OutcomeCase{"NoServer", nullptr, "网络错误!"}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

TEST_F(FeedbackTest, TheServiceKeepsEachMessageAsOneJsonLineWithItsTextIntact)
{
    const QString folder = testenv::Home() + "/service";
    const QString lines = folder + "/feedback.jsonl";
    ASSERT_TRUE(QDir().mkpath(folder));
    nettest::ServiceProcess service;
    ASSERT_TRUE(service.Start(
        {"--feedback-file", lines, "--upgrade-file", folder + "/none.ini", "--files", folder}));

    const QString first = QString::fromUtf8("导出的 MP4 没有声音,\n\"第二行\" 🎬");
    Open(QString::fromStdString(service.Address()));
    Fill(first, QString::fromUtf8("邮箱 someone@example.cn"));
    EXPECT_EQ(Submit(), "反馈信息已提交!");
    Open(QString::fromStdString(service.Address()));
    Fill("second", "x");
    EXPECT_EQ(Submit(), "反馈信息已提交!");

    const QList<QByteArray> stored = testenv::ReadFile(lines).split('\n');
    ASSERT_EQ(stored.size(), 3);  // two lines and the end of the last
    EXPECT_TRUE(stored[2].isEmpty());
    EXPECT_TRUE(stored[0].contains(first.toUtf8().replace("\n", "\\n").replace("\"", "\\\"")))
        << "the text is kept as UTF-8, not escaped: " << stored[0].toStdString();
    const Json::Value line = ParseJson(stored[0].toStdString());
    EXPECT_EQ(QString::fromStdString(line["content"].asString()), first);
    EXPECT_EQ(line["contact"].asString(), "邮箱 someone@example.cn");
    EXPECT_FALSE(line["time"].asString().empty());
    EXPECT_EQ(ParseJson(stored[1].toStdString())["content"].asString(), "second");
}

TEST_F(FeedbackTest, ContactUsOpensTheHelpPageAndKeepsTheForm)
{
    Open("http://127.0.0.1:8731");
    dialog->FindControl<QAbstractButton>("contact-us")->click();
    ASSERT_EQ(shell.opened.size(), 1);
    EXPECT_EQ(shell.opened[0].toString(), "http://127.0.0.1:8731/help");
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(FeedbackTest, TheContentTakesTheFocusShortlyAfterOpening)
{
    Open("http://127.0.0.1:8731");
    QWidget* content = dialog->FindControl("feedbackContent");
    dialog->FindControl("feedbackContact")->setFocus();
    EXPECT_TRUE(testenv::WaitUntil([&] { return dialog->focusWidget() == content; }, 1000));
}

}  // namespace
