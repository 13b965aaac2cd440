// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/FailureText.h"

#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <vector>
#include "core/app/Language.h"

namespace {

struct Mark {
    FailureCause cause;
    std::vector<const char*> phrases;  // any one of them, in any case
    std::vector<int> errors;           // or the text of one of these errno values
};

// First match wins, so the more telling causes come first: a full disk while writing the
// header ("Could not write header ... (incorrect codec parameters ?): No space left on device")
// is a full disk, not a codec problem.
const std::vector<Mark>& Marks()
{
    static const std::vector<Mark> marks = {
        {FailureCause::DiskFull,
         {"no space left on device", "disk quota exceeded", "file too large"},
         {ENOSPC, EDQUOT, EFBIG}},
        {FailureCause::OutOfMemory,
         {"cannot allocate memory", "memory allocation failed", "out of memory", "resource limit",
          "cache resources exhausted", "exceeds limit", "memory limit"},
         {ENOMEM}},
        {FailureCause::ToolNotStarted, {"ffmpeg not found", "cannot start "}, {}},
        {FailureCause::NoPermission,
         {"permission denied", "operation not permitted", "read-only file system"},
         {EACCES, EPERM, EROFS}},
        {FailureCause::MissingEncoder,
         {"unknown encoder", "encoder not found", "encoder (codec"},
         {}},
        {FailureCause::OneFrameOnly, {"output holds only one frame"}, {}},
        {FailureCause::Unsupported,
         {"unknown decoder", "decoder not found", "decoder (codec", "unsupported codec",
          "unknown codec", "codec not currently supported",
          "unable to find a suitable output format", "no decode delegate", "no encode delegate",
          "not a bmp, jpeg, png or gif image",
          "not a bmp, jpeg, png, gif, webp, heic, avif or tiff image", "no treatment for"},
         {}},
        {FailureCause::Damaged,
         {"invalid data found when processing input", "moov atom not found",
          "improper image header", "corrupt", "insufficient image data", "premature end",
          "end of file", "end-of-file", "error reading header", "negative or zero image size",
          "truncated", "holds no frame", "no image was loaded"},
         {}},
        {FailureCause::FileNotFound, {"no such file or directory"}, {ENOENT}},
        {FailureCause::ToolHung, {"printed nothing for"}, {}},
        {FailureCause::ToolCrashed, {"ffmpeg crashed"}, {}},
        {FailureCause::OverSizeLimit,
         {"cannot fit under the size", "does not fit under", "over the size limit"},
         {}},
    };
    return marks;
}

bool Names(const QString& raw, const Mark& mark)
{
    for (const char* phrase : mark.phrases)
        if (raw.contains(QLatin1String(phrase), Qt::CaseInsensitive)) return true;
    // The program runs in the user's locale, so its own errno texts may be translated.
    for (const int error : mark.errors)
        if (raw.contains(QString::fromLocal8Bit(std::strerror(error)), Qt::CaseInsensitive))
            return true;
    return false;
}

// The text without the file names it quotes, so that a folder called "corrupt" or "truncated"
// does not decide the cause: ImageMagick's `name' and ffmpeg's 'name', ImageMagick's
// "@ error/file.c/Function/line" and absolute paths up to the ": " that follows them.
QString WithoutFileNames(const QString& raw)
{
    static const QRegularExpression quoted(QStringLiteral("`[^'\n]*'|(?<!\\w)'[^'\n]*'"));
    static const QRegularExpression location(QStringLiteral("@ (error|warning)/\\S*"));
    static const QRegularExpression path(QStringLiteral("(^|\\s)/[^\\n]*?(?=: |$)"),
                                         QRegularExpression::MultilineOption);
    QString text = raw;
    text.replace(quoted, QStringLiteral("''"));
    text.replace(location, QString());
    text.replace(path, QStringLiteral("\\1<path>"));
    return text;
}

}  // namespace

FailureCause ClassifyFailure(const QString& raw)
{
    const QString text = WithoutFileNames(raw);
    for (const Mark& mark : Marks())
        if (Names(text, mark)) return mark.cause;
    return FailureCause::Unknown;
}

QString FailureSentence(FailureCause cause)
{
    switch (cause) {
        case FailureCause::Unknown:
            return {};
        case FailureCause::DiskFull:
            return Texts::tr("磁盘空间不足,请清理磁盘或更换输出目录!");
        case FailureCause::OutOfMemory:
            return Texts::tr("内存不足或文件太大,无法处理!");
        case FailureCause::NoPermission:
            return Texts::tr("没有读写权限,请检查文件和输出目录的权限!");
        case FailureCause::MissingEncoder:
            return Texts::tr("缺少所需的编码器,请安装完整的 ffmpeg!");
        case FailureCause::Unsupported:
            return Texts::tr("不支持该文件的格式或编码!");
        case FailureCause::OneFrameOnly:
            return Texts::tr("图像有多帧或多页,所选输出格式只能保存一帧,请保持原格式!");
        case FailureCause::Damaged:
            return Texts::tr("文件可能已经损坏!");
        case FailureCause::FileNotFound:
            return Texts::tr("找不到文件或目录,可能已被移动或删除!");
        case FailureCause::ToolNotStarted:
            return Texts::tr("无法启动 ffmpeg,请检查是否已安装!");
        case FailureCause::ToolHung:
            return Texts::tr("压缩程序长时间没有响应,已停止!");
        case FailureCause::ToolCrashed:
            return Texts::tr("压缩程序意外退出,请重试!");
        case FailureCause::OverSizeLimit:
            return Texts::tr("大小上限太小,文件无法压缩到上限以内,请调大上限!");
    }
    return {};
}

QString ReadableFailure(const QString& raw)
{
    const FailureCause cause = ClassifyFailure(raw);
    const QString sentence = FailureSentence(cause);
    if (sentence.isEmpty()) return raw.trimmed();
    // What the limit would have to hold is the user's next step: the sizes stay.
    if (cause == FailureCause::OverSizeLimit) return sentence + u'\n' + raw.trimmed();
    return sentence;
}
