// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/net/FeedbackDialog.h"

#include <glog/logging.h>
#include <json/json.h>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <memory>
#include <stdexcept>

#include "core/app/JsonText.h"
#include "core/app/Language.h"
#include "core/app/ServiceAddress.h"
#include "core/app/TextUtil.h"
#include "core/app/UserAccount.h"
#include "core/net/HttpClient.h"
#include "gui/platform/Shell.h"
#include "gui/ui/PromptBoxDialog.h"

namespace {

constexpr char kFeedbackPath[] = "/v2/feedback";
constexpr char kHelpPath[] = "/help";
constexpr int kFocusDelayMs = 100;

constexpr char kContentMissing[] = QT_TRANSLATE_NOOP("LumoCompress", "反馈内容不能为空!");
constexpr char kContactMissing[] = QT_TRANSLATE_NOOP("LumoCompress", "联系方式不能为空!");
constexpr char kSignInFirst[] = QT_TRANSLATE_NOOP("LumoCompress", "请先登录后进行反馈!");
constexpr char kSent[] = QT_TRANSLATE_NOOP("LumoCompress", "反馈信息已提交!");
constexpr char kUnknownError[] = QT_TRANSLATE_NOOP("LumoCompress", "未知错误");
constexpr char kNetworkError[] = QT_TRANSLATE_NOOP("LumoCompress", "网络错误!");

// The text of an edit control of the layout, whichever kind it is.
QString TextOf(const QWidget* control)
{
    if (auto* line = qobject_cast<const QLineEdit*>(control)) return line->text();
    if (auto* plain = qobject_cast<const QPlainTextEdit*>(control)) return plain->toPlainText();
    if (auto* rich = qobject_cast<const QTextEdit*>(control)) return rich->toPlainText();
    return {};
}

}  // namespace

FeedbackDialog::FeedbackDialog(QWidget* owner, const QString& serviceAddress)
    : WindowImplBase(owner, Kind::Dialog), owner_(owner), serviceAddress_(serviceAddress)
{
}

void FeedbackDialog::Run(QWidget* owner)
{
    auto* dialog = new FeedbackDialog(owner);
    try {
        dialog->Create();
    } catch (const std::exception& error) {
        LOG(ERROR) << "feedback window: " << error.what();
        delete dialog;
        return;
    }
    dialog->CenterWindow();
    dialog->ShowModal();
}

QString FeedbackDialog::Address() const
{
    return serviceAddress_.isEmpty() ? ServiceAddress() : serviceAddress_;
}

void FeedbackDialog::InitWindow()
{
    content_ = FindControl("feedbackContent");
    contact_ = FindControl("feedbackContact");
    errorTips_ = FindControl<QLabel>("feedbackErrorTips");
    submit_ = FindControl("feedbackBtn");
    if (!content_ || !contact_ || !errorTips_ || !submit_)
        throw std::runtime_error("FeedbackDialog::Init");

    // The window has to be shown before the focus can land in it.
    QTimer::singleShot(kFocusDelayMs, this, [this] { content_->setFocus(Qt::OtherFocusReason); });
}

void FeedbackDialog::Notify(skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kClick)) {
        if (msg.senderName == QLatin1String("feedbackBtn")) {
            // The form is sent and closed, or stays open with the reason shown.
            if (Validate()) Submit();
            return;
        } else if (msg.senderName == QLatin1String("contact-us")) {
            Shell::Instance().Open(QUrl(Address() + kHelpPath));
        }
    }
    WindowImplBase::Notify(msg);
}

bool FeedbackDialog::Validate()
{
    const char* reason = nullptr;
    if (TextOf(content_).isEmpty())
        reason = kContentMissing;
    else if (TextOf(contact_).isEmpty())
        reason = kContactMissing;
    else if (!UserAccount::Instance().IsSignedIn())
        reason = kSignInFirst;
    if (!reason) return true;
    errorTips_->setText(language::Tr(reason));
    errorTips_->show();
    return false;
}

std::string FeedbackDialog::RequestBody(const QString& content, const QString& contact)
{
    Json::Value body(Json::objectValue);
    body["content"] = WideToAnsi(content);
    body["contact"] = WideToAnsi(contact);
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "   ";
    writer["emitUTF8"] = true;
    return Json::writeString(writer, body) + "\n";
}

QString FeedbackDialog::OutcomeText(const std::string& reply)
{
    Json::Value root;
    if (!json::Parse(reply, root)) return language::Tr(kNetworkError);
    return language::Tr(json::IsAccepted(root) ? kSent : kUnknownError);
}

void FeedbackDialog::Submit()
{
    hide();
    const std::string body = RequestBody(TextOf(content_), TextOf(contact_));
    const std::string url = (Address() + kFeedbackPath).toStdString();
    std::string reply;
    HttpClient::Instance().HttpPost(body, url, reply);

    PromptBoxDialog::Show(this, OutcomeText(reply));
    Close(1);
}
