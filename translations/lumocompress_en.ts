<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Download</name>
    <message>
        <source>升级下载</source>
        <translation>Download update</translation>
    </message>
    <message>
        <source>dialog</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>dialog-title</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>正在下载新版本,请稍候…</source>
        <translation>Downloading the new version, please wait…</translation>
    </message>
    <message>
        <source>0%</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>secondary</source>
        <translation type="unfinished" />
    </message>
</context>
<context>
    <name>Feedback</name>
    <message>
        <source>意见反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>dialog</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>dialog-title</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>反馈内容</source>
        <translation>Your feedback</translation>
    </message>
    <message>
        <source>field</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>请描述您遇到的问题或建议</source>
        <translation>Describe the problem you met or your suggestion</translation>
    </message>
    <message>
        <source>联系方式</source>
        <translation>Contact</translation>
    </message>
    <message>
        <source>手机号、邮箱或QQ,方便我们回复您</source>
        <translation>Phone, e-mail or QQ, so we can answer you</translation>
    </message>
    <message>
        <source>帮助中心</source>
        <translation>Help center</translation>
    </message>
    <message>
        <source>在浏览器中打开帮助页面</source>
        <translation>Open the help page in the browser</translation>
    </message>
    <message>
        <source>提交</source>
        <translation>Submit</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished" />
    </message>
</context>
<context>
    <name>ImagePopMenu</name>
    <message>
        <source>#ImagePopMenu {
    background-color: #FFFFFF;
    border: 1px solid #D4D8DE;
}
QPushButton[class="menu-item"],
QPushButton[class="menu-item-danger"] {
    border: none;
    border-radius: 4px;
    background: transparent;
    color: #1F2329;
    text-align: left;
    padding: 0 12px;
}
QPushButton[class="menu-item"]:hover {
    background-color: #EAF2FE;
    color: #2F7CF6;
}
QPushButton[class="menu-item-danger"] {
    color: #F53F3F;
}
QPushButton[class="menu-item-danger"]:hover {
    background-color: #FDECEC;
    color: #F53F3F;
}
QPushButton[class="menu-item"]:pressed {
    background-color: #DCE9FD;
}
QPushButton[class="menu-item-danger"]:pressed {
    background-color: #FBDADA;
}
#menuSeparator {
    background-color: #E5E6EB;
}</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>打开输出目录</source>
        <translation>Open output folder</translation>
    </message>
    <message>
        <source>menu-item</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>重新压缩</source>
        <translation>Compress again</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>menu-item-danger</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>取消压缩</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>Login</name>
    <message>
        <source>登录</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <source>dialog</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>dialog-title</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>手机号登录</source>
        <translation>Sign in with phone number</translation>
    </message>
    <message>
        <source>heading</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>登录后即可开始压缩视频和图片</source>
        <translation>Sign in to start compressing videos and images</translation>
    </message>
    <message>
        <source>hint</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>请输入11位手机号</source>
        <translation>Enter your 11-digit phone number</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>手机号仅保存在本机</source>
        <translation>The number is kept on this computer only</translation>
    </message>
</context>
<context>
    <name>LumoCompress</name>
    <message>
        <source>LUMO视频压缩</source>
        <translation>LUMO Video Compressor</translation>
    </message>
    <message>
        <source>磁盘空间不足,请清理磁盘或更换输出目录!</source>
        <translation>The disk is full: free some space or choose another output folder!</translation>
    </message>
    <message>
        <source>内存不足或文件太大,无法处理!</source>
        <translation>Not enough memory, or the file is too large to process!</translation>
    </message>
    <message>
        <source>没有读写权限,请检查文件和输出目录的权限!</source>
        <translation>No permission: check the permissions of the file and the output folder!</translation>
    </message>
    <message>
        <source>缺少所需的编码器,请安装完整的 ffmpeg!</source>
        <translation>An encoder is missing: install a complete ffmpeg!</translation>
    </message>
    <message>
        <source>不支持该文件的格式或编码!</source>
        <translation>The file's format or codec is not supported!</translation>
    </message>
    <message>
        <source>图像有多帧或多页,所选输出格式只能保存一帧,请保持原格式!</source>
        <translation>The image has several frames or pages and the chosen output format holds only one: keep the source's format!</translation>
    </message>
    <message>
        <source>文件可能已经损坏!</source>
        <translation>The file may be damaged!</translation>
    </message>
    <message>
        <source>找不到文件或目录,可能已被移动或删除!</source>
        <translation>File or folder not found: it may have been moved or deleted!</translation>
    </message>
    <message>
        <source>无法启动 ffmpeg,请检查是否已安装!</source>
        <translation>ffmpeg cannot be started: check that it is installed!</translation>
    </message>
    <message>
        <source>压缩程序长时间没有响应,已停止!</source>
        <translation>The encoder stopped responding and was stopped!</translation>
    </message>
    <message>
        <source>压缩程序意外退出,请重试!</source>
        <translation>The encoder quit unexpectedly, please try again!</translation>
    </message>
    <message>
        <source>大小上限太小,文件无法压缩到上限以内,请调大上限!</source>
        <translation>The size limit is too small for this file, please raise it!</translation>
    </message>
    <message>
        <source>压缩完成：成功 %1 个，失败 %2 个，节省 %3</source>
        <translation>Compression finished: %1 done, %2 failed, %3 saved</translation>
    </message>
    <message>
        <source>请输入正确的11位手机号!</source>
        <translation>Enter a valid 11-digit phone number!</translation>
    </message>
    <message>
        <source>反馈内容不能为空!</source>
        <translation>Please write your feedback!</translation>
    </message>
    <message>
        <source>联系方式不能为空!</source>
        <translation>Please give a way to contact you!</translation>
    </message>
    <message>
        <source>请先登录后进行反馈!</source>
        <translation>Please sign in before sending feedback!</translation>
    </message>
    <message>
        <source>反馈信息已提交!</source>
        <translation>Your feedback was sent!</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>网络错误!</source>
        <translation>Network error!</translation>
    </message>
    <message>
        <source>无法打开文件夹：</source>
        <translation>Cannot open the folder: </translation>
    </message>
    <message>
        <source>无法打开网页：</source>
        <translation>Cannot open the web page: </translation>
    </message>
    <message>
        <source>视频文件(</source>
        <translation>Videos (</translation>
    </message>
    <message>
        <source>支持图片格式(</source>
        <translation>Supported images (</translation>
    </message>
    <message>
        <source>没有运行它的权限(所在的磁盘可能不允许运行程序)</source>
        <translation>no permission to run it (the disk it is on may not allow running programs)</translation>
    </message>
    <message>
        <source>找不到安装程序或运行它所需的解释器</source>
        <translation>the installer or the interpreter it needs cannot be found</translation>
    </message>
    <message>
        <source>它不是可以运行的程序</source>
        <translation>it is not a program that can run</translation>
    </message>
    <message>
        <source>网络异常,请稍后重试!</source>
        <translation>Network problem, please try again later!</translation>
    </message>
    <message>
        <source>升级失败,程序可能损坏!</source>
        <translation>The upgrade failed, the program may be damaged!</translation>
    </message>
    <message>
        <source>正在压缩中,确定要退出吗?</source>
        <translation>Compression is running. Quit anyway?</translation>
    </message>
    <message>
        <source>正在压缩中,升级需要退出程序,确定要现在升级吗?</source>
        <translation>Compression is running and the upgrade must close the program. Upgrade now?</translation>
    </message>
    <message>
        <source>正在读取 %1 个文件…</source>
        <translation>Reading %1 files…</translation>
    </message>
    <message>
        <source>选择视频目制存放目录</source>
        <translation>Choose the output folder</translation>
    </message>
    <message>
        <source>该目录没有写入权限!</source>
        <translation>This folder cannot be written to!</translation>
    </message>
    <message>
        <source>该目录路径无法保存,请选择其他目录!</source>
        <translation>This folder path cannot be saved, please choose another folder!</translation>
    </message>
    <message>
        <source>当前桌面没有系统托盘</source>
        <translation>This desktop has no system tray</translation>
    </message>
    <message>
        <source>文件正在压缩中,不能删除!</source>
        <translation>The file is being compressed and cannot be deleted!</translation>
    </message>
    <message>
        <source>请先添加要压缩的文件!</source>
        <translation>Please add files to compress first!</translation>
    </message>
    <message>
        <source>等待中</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>压缩</source>
        <translation>Compress</translation>
    </message>
    <message>
        <source>正在压缩</source>
        <translation>Compressing</translation>
    </message>
    <message>
        <source>压缩中</source>
        <translation>Working</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>压缩完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>输出文件不存在</source>
        <translation>The output file is missing</translation>
    </message>
    <message>
        <source>取消中</source>
        <translation>Stopping</translation>
    </message>
    <message>
        <source>选择图片存放目录</source>
        <translation>Choose a folder of images</translation>
    </message>
    <message>
        <source>请输入图片的宽度!</source>
        <translation>Please enter the image width!</translation>
    </message>
    <message>
        <source>图片宽度必须为数字!</source>
        <translation>The image width must be a number!</translation>
    </message>
    <message>
        <source>请输入图片的高度!</source>
        <translation>Please enter the image height!</translation>
    </message>
    <message>
        <source>图片高度必须为数字!</source>
        <translation>The image height must be a number!</translation>
    </message>
    <message>
        <source>已完成 %1/%2</source>
        <translation>Done %1/%2</translation>
    </message>
    <message>
        <source> · 剩余约 %1</source>
        <translation> · about %1 left</translation>
    </message>
    <message>
        <source>原文件已更小</source>
        <translation>Source smaller</translation>
    </message>
    <message>
        <source>压缩后的文件不比原文件小,未保留输出</source>
        <translation>The compressed file was not smaller than the source, so no output was kept</translation>
    </message>
    <message>
        <source>选择视频存放目录</source>
        <translation>Choose a folder of videos</translation>
    </message>
    <message>
        <source>无法启动安装程序：%1。安装包已保存在 %2。</source>
        <translation>The installer could not be started: %1. The package was saved in %2.</translation>
    </message>
    <message>
        <source>这个版本的程序无法验证安装包，不能自动升级。请从官网下载新版本。</source>
        <translation>This copy of the program cannot verify installers, so it cannot upgrade itself. Please download the new version from the website.</translation>
    </message>
    <message>
        <source>安装包没有签名</source>
        <translation>the installer has no signature</translation>
    </message>
    <message>
        <source>安装包的签名格式不对</source>
        <translation>the installer's signature is malformed</translation>
    </message>
    <message>
        <source>下载的安装包无法读取</source>
        <translation>the downloaded installer cannot be read</translation>
    </message>
    <message>
        <source>安装包的签名与文件不符，它可能被改动过</source>
        <translation>the installer's signature does not match the file, which may have been altered</translation>
    </message>
    <message>
        <source>无法验证安装包：%1。安装包没有保留，也没有运行。</source>
        <translation>The installer could not be verified: %1. It was not kept and not run.</translation>
    </message>
    <message>
        <source>发现新版本 %1！本程序是通过系统的软件包管理器安装的，请用它来更新（例如 sudo apt update &amp;&amp; sudo apt upgrade）。</source>
        <translation>Version %1 is available! This program was installed by the system's package manager; please update it there (for example sudo apt update &amp;&amp; sudo apt upgrade).</translation>
    </message>
    <message>
        <source>发现新版本啦!</source>
        <translation>A new version is available!</translation>
    </message>
    <message>
        <source>没有发现新版本!</source>
        <translation>You have the latest version!</translation>
    </message>
    <message>
        <source>剩余 %1</source>
        <translation>%1 left</translation>
    </message>
    <message>
        <source>压 缩</source>
        <translation>Compress</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>以下文件没有添加:</source>
        <translation>These files were not added:</translation>
    </message>
    <message>
        <source>打开原文件目录</source>
        <translation>Open the original&apos;s folder</translation>
    </message>
    <message>
        <source>文件名不是有效的 UTF-8 编码,请重命名后再压缩</source>
        <translation>its name is not valid UTF-8; rename the file to compress it</translation>
    </message>
    <message>
        <source>请先勾选要压缩的文件!</source>
        <translation>Tick the files to compress first!</translation>
    </message>
    <message>
        <source>这是命名管道(FIFO),不是普通文件</source>
        <translation>a named pipe (FIFO), not a regular file</translation>
    </message>
    <message>
        <source>这是套接字,不是普通文件</source>
        <translation>a socket, not a regular file</translation>
    </message>
    <message>
        <source>这是文件夹,不是普通文件</source>
        <translation>a folder, not a regular file</translation>
    </message>
    <message>
        <source>这是指向文件夹的链接,不是文件</source>
        <translation>a link to a folder, not a file</translation>
    </message>
    <message>
        <source>路径太长(%1 字节,系统最多接受 %2 字节)</source>
        <translation>the path is too long (%1 bytes; the system takes at most %2)</translation>
    </message>
    <message>
        <source>这是设备,不是普通文件</source>
        <translation>a device, not a regular file</translation>
    </message>
    <message>
        <source>勾选的文件都已压缩完成。要再压缩一个文件,请在它的菜单(右侧的“⋯”)中选择“重新压缩”。</source>
        <translation>Every ticked file has been compressed. To compress one again, choose &quot;Compress again&quot; in its menu (the (the &quot;…&quot; on its right)quot;⋯(the &quot;…&quot; on its right)quot; on its right).</translation>
    </message>
    <message>
        <source>已保留原文件</source>
        <translation>Original kept</translation>
    </message>
    <message>
        <source>压缩后的文件不比原文件小,已保留原文件,没有写出新文件</source>
        <translation>The compressed file was not smaller than the original, so the original was kept and no new file was written</translation>
    </message>
    <message>
        <source>保留原格式时,视频编码沿用原文件的编码</source>
        <translation>With the original format kept, the video keeps the source&apos;s codec</translation>
    </message>
    <message>
        <source>保留原格式时,声道、采样率和比特率沿用原文件</source>
        <translation>With the original format kept, the channels, sample rate and bit rate follow the source</translation>
    </message>
    <message>
        <source>保留原格式时</source>
        <translation>With the original format kept, </translation>
    </message>
    <message>
        <source>%1不用质量模式</source>
        <translation>%1quality mode is not used</translation>
    </message>
    <message>
        <source>%1不做两遍编码</source>
        <translation>%1there is no second pass</translation>
    </message>
    <message>
        <source>兼容模式下 MP4 以 MPEG-4 编码</source>
        <translation>In compatible mode, MP4 is encoded as MPEG-4</translation>
    </message>
    <message>
        <source>兼容模式下</source>
        <translation>In compatible mode, </translation>
    </message>
    <message>
        <source>%1 格式只用 H.264 编码,H.265 和 AV1 只用于 MP4 和 MKV</source>
        <translation>%1 is always encoded as H.264; H.265 and AV1 are for MP4 and MKV only</translation>
    </message>
    <message>
        <source>质量模式下不做两遍编码,只用质量模式</source>
        <translation>Quality mode takes the place of two passes: there is no second pass</translation>
    </message>
    <message>
        <source>%1不做“同样观感,最小文件”的搜索</source>
        <translation>%1: no same-look search for the smallest file</translation>
    </message>
    <message>
        <source>勾选“画质优先”后才做“同样观感,最小文件”的搜索</source>
        <translation>The same-look search for the smallest file needs “Quality”</translation>
    </message>
    <message>
        <source>设了大小上限时按大小压缩,不做“同样观感,最小文件”的搜索</source>
        <translation>With a size limit the file is fitted to the size: no same-look search</translation>
    </message>
    <message>
        <source>压缩 %1 次</source>
        <translation>%1 encodes</translation>
    </message>
    <message>
        <source>大小上限至少为 1 KB。</source>
        <translation>The size limit must be at least 1 KB.</translation>
    </message>
    <message>
        <source>大小上限请填写数字,例如 8 或 1.5,单位在右侧选择;留空表示不限制。</source>
        <translation>Enter the size limit as a number, such as 8 or 1.5, and choose the unit on its right; leave it empty for no limit.</translation>
    </message>
    <message>
        <source>大小上限须小于 2 GB。</source>
        <translation>The size limit must be under 2 GB.</translation>
    </message>
    <message>
        <source>已替换</source>
        <translation>Replaced</translation>
    </message>
    <message>
        <source>已替换原文件,腾出 %1(原文件已移到回收站)</source>
        <translation>Replaced the original, %1 freed (the original is in the trash)</translation>
    </message>
    <message>
        <source>文件名后缀不能为空,也不能包含“/”或控制字符。</source>
        <translation>The suffix cannot be empty or contain “/” or control characters.</translation>
    </message>
    <message>
        <source>缩放 %1%</source>
        <translation>scaled to %1%</translation>
    </message>
    <message>
        <source>视频码率 %1 kbps</source>
        <translation>video %1 kbps</translation>
    </message>
    <message>
        <source>质量 %1</source>
        <translation>quality %1</translation>
    </message>
    <message>
        <source>，替换原文件腾出 %1</source>
        <translation>, %1 freed by replacing originals</translation>
    </message>
    <message>
        <source>SSIM %1 · CRF %2,最接近压缩强度的 %3</source>
        <translation>SSIM %1 · CRF %2, the nearest to the strength’s %3</translation>
    </message>
    <message>
        <source>“同样观感,最小文件”只用于画质优先并转换格式的视频,已按常规压缩</source>
        <translation>“Same look, smallest file” applies to videos written to a new format with “Quality”: compressed as usual</translation>
    </message>
    <message>
        <source>画面缩小为 %1x%2:%3 kbps 下原尺寸会模糊</source>
        <translation>The picture is made %1x%2: at %3 kbps the full size would smear</translation>
    </message>
    <message>
        <source>未能保留文件日期:%1</source>
        <translation>The file dates were not kept: %1</translation>
    </message>
    <message>
        <source>AV1 不做两遍编码,按同样的码率编码一遍</source>
        <translation>No two passes for AV1: one pass at the same bit rate</translation>
    </message>
    <message>
        <source>%1 编码器不做两遍编码,只编码一遍</source>
        <translation>No two passes for the %1 encoder: one pass</translation>
    </message>
    <message>
        <source>%1 只用于转换为 MP4 或 MKV 的视频,此文件以 %2 编码</source>
        <translation>%1 applies to videos written to MP4 or MKV; this file is written with %2</translation>
    </message>
    <message>
        <source>画质优先只用于以 H.264、H.265 或 AV1 转换格式的视频,此文件以 %1 按压缩强度的码率编码</source>
        <translation>“Quality” applies to videos written to a new format with H.264, H.265 or AV1; this file is written with %1 at the strength’s bit rate</translation>
    </message>
</context>
<context>
    <name>MainTaskMenu</name>
    <message>
        <source>#MainTaskMenu {
    background-color: #FFFFFF;
    border: 1px solid #D4D8DE;
}
QPushButton[class="menu-item"] {
    border: none;
    border-radius: 4px;
    background: transparent;
    color: #1F2329;
    text-align: left;
    padding: 0 12px;
    qproperty-iconSize: 14px 14px;
}
QPushButton[class="menu-item"]:hover {
    background-color: #EAF2FE;
    color: #2F7CF6;
}
QPushButton[class="menu-item"]:pressed {
    background-color: #DCE9FD;
}
#menuSeparator {
    background-color: #E5E6EB;
}
#main_menu_item_home { qproperty-icon: url(skin:images/menu-home.png); }
#main_menu_item_seting { qproperty-icon: url(skin:images/menu-seting.png); }
#main_menu_item_help { qproperty-icon: url(skin:images/menu-help.png); }
#main_menu_item_feedback { qproperty-icon: url(skin:images/menu-feedback.png); }
#main_menu_item_upgrade { qproperty-icon: url(skin:images/menu-upgrade.png); }
#main_menu_item_quit { qproperty-icon: url(skin:images/menu-quit.png); }</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>主界面</source>
        <translation>Main window</translation>
    </message>
    <message>
        <source>menu-item</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>意见反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Check for updates</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>LUMO视频压缩</source>
        <translation>LUMO Video Compressor</translation>
    </message>
    <message>
        <source>视频压缩</source>
        <translation>Videos</translation>
    </message>
    <message>
        <source>tab</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>图片压缩</source>
        <translation>Images</translation>
    </message>
    <message>
        <source>account</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>登录</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <source>|</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>注册</source>
        <translation>Register</translation>
    </message>
    <message>
        <source>反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>header</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>主菜单</source>
        <translation>Main menu</translation>
    </message>
    <message>
        <source>winbtn</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>最小化</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>最大化</source>
        <translation>Maximize</translation>
    </message>
    <message>
        <source>还原</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>添加文件</source>
        <translation>Add files</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>添加文件夹</source>
        <translation>Add folder</translation>
    </message>
    <message>
        <source>secondary</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>panel</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>全选</source>
        <translation>All</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>colhead</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>分辨率</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>帧率</source>
        <translation>Frame rate</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>时长</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>状态/操作</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>empty-icon</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>点击添加视频文件</source>
        <translation>Click to add videos</translation>
    </message>
    <message>
        <source>empty-main</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>或</source>
        <translation>or</translation>
    </message>
    <message>
        <source>empty-note</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>empty-link</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>支持 MP4、MKV、MOV、FLV、AVI 等常见格式</source>
        <translation>MP4, MKV, MOV, FLV, AVI and other common formats</translation>
    </message>
    <message>
        <source>压缩强度</source>
        <translation>Strength</translation>
    </message>
    <message>
        <source>optlabel</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>普通压缩</source>
        <translation>General</translation>
    </message>
    <message>
        <source>深度压缩</source>
        <translation>Deep</translation>
    </message>
    <message>
        <source>极限压缩</source>
        <translation>Limit</translation>
    </message>
    <message>
        <source>输出格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>原格式</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>MP4</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>FLV</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>MOV</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>MKV</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>编码模式</source>
        <translation>Encoding</translation>
    </message>
    <message>
        <source>均衡模式</source>
        <translation>Balanced</translation>
    </message>
    <message>
        <source>转换格式时用 fast 预设代替最快的 ultrafast 编码:同样的码率画质更好,压缩耗时更长。保持原格式时不起作用。</source>
        <translation>When converting, encode with the fast preset instead of the fastest, ultrafast: better picture at the same bit rate, but slower. No effect when the original format is kept.</translation>
    </message>
    <message>
        <source>兼容模式</source>
        <translation>Compatible</translation>
    </message>
    <message>
        <source>输出 MP4 时用 MPEG-4 代替 H.264 编码,较旧的手机和播放器也能播放,同样的码率画质稍差。只对 MP4 输出起作用。</source>
        <translation>Encode MP4 output with MPEG-4 instead of H.264, so older phones and players can play it; the picture is slightly worse at the same bit rate. Only for MP4 output.</translation>
    </message>
    <message>
        <source>原分辨率</source>
        <translation>Original size</translation>
    </message>
    <message>
        <source>1920x1080</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>1280x720</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>1024x600</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>800x600</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>720x576</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>720x480</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>640x480</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>640x360</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>480x360</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>480x272</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>352x288</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>320x240</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>码率比例</source>
        <translation>Bit rate</translation>
    </message>
    <message>
        <source>勾选后按滑块设定视频码率:新码率 = 原码率 × (100% − 滑块值),滑块越大文件越小。不勾选时按压缩强度降低码率(普通压缩减 50%,深度压缩减 70%,极限压缩减 90%)。</source>
        <translation>When ticked, the slider sets the video bit rate: new rate = original rate × (100% − slider); the further right, the smaller the file. When not ticked, the strength lowers the rate (General by 50%, Deep by 70%, Limit by 90%).</translation>
    </message>
    <message>
        <source>50%</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>value</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>全部压缩</source>
        <translation>Compress all</translation>
    </message>
    <message>
        <source>添加图片</source>
        <translation>Add images</translation>
    </message>
    <message>
        <source>点击添加图片</source>
        <translation>Click to add images</translation>
    </message>
    <message>
        <source>JPG</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>动图</source>
        <translation>GIF</translation>
    </message>
    <message>
        <source>GIF抽帧</source>
        <translation>Drop GIF frames</translation>
    </message>
    <message>
        <source>每6帧抽1帧</source>
        <translation>1 in 6 frames</translation>
    </message>
    <message>
        <source>每5帧抽1帧</source>
        <translation>1 in 5 frames</translation>
    </message>
    <message>
        <source>每4帧抽1帧</source>
        <translation>1 in 4 frames</translation>
    </message>
    <message>
        <source>每3帧抽1帧</source>
        <translation>1 in 3 frames</translation>
    </message>
    <message>
        <source>每2帧抽1帧</source>
        <translation>1 in 2 frames</translation>
    </message>
    <message>
        <source>缩放比例</source>
        <translation>Scale</translation>
    </message>
    <message>
        <source>原尺寸</source>
        <translation>Original size</translation>
    </message>
    <message>
        <source>90%</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>80%</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>70%</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>60%</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>自定义尺寸</source>
        <translation>Custom size</translation>
    </message>
    <message>
        <source>宽</source>
        <translation>W</translation>
    </message>
    <message>
        <source>x</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>高</source>
        <translation>H</translation>
    </message>
    <message>
        <source>hint</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>batch</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>全部取消</source>
        <translation>Cancel all</translation>
    </message>
    <message>
        <source>画质优先</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>按压缩强度保持恒定画质(CRF),码率不超过原视频,文件不会比原视频大。不勾选时按码率压缩。</source>
        <translation>Keep a constant quality per strength (CRF), with the source's bit rate as the ceiling, so the file is never larger than the source. When not ticked, the bit rate is used.</translation>
    </message>
    <message>
        <source>二次编码</source>
        <translation>Two-pass</translation>
    </message>
    <message>
        <source>按同样的码率编码两遍(medium 预设):同样大小画质更好,耗时约为两倍以上。画质优先时不起作用。</source>
        <translation>Encode twice at the same bit rate (medium preset): a better picture at the same size, taking about twice as long or more. No effect in quality mode.</translation>
    </message>
    <message>
        <source>视频编码</source>
        <translation>Codec</translation>
    </message>
    <message>
        <source>转换为 MP4 或 MKV 时使用的视频编码。H.265 与 AV1 同样画质文件更小,压缩更慢。</source>
        <translation>The video codec for MP4 or MKV output. H.265 and AV1 give smaller files at the same look, but are slower.</translation>
    </message>
    <message>
        <source>H.264</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>H.265</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>AV1</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>支持 JPG、PNG、BMP、GIF、WebP、HEIC、AVIF、TIFF</source>
        <translation>JPG, PNG, BMP, GIF, WebP, HEIC, AVIF and TIFF</translation>
    </message>
    <message>
        <source>WebP</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>同样画质下通常比 JPG 更小,较旧的软件可能无法打开</source>
        <translation>Usually smaller than JPG at the same look; older software may not open it</translation>
    </message>
    <message>
        <source>AVIF</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>同样画质下文件最小,压缩较慢,较旧的软件可能无法打开</source>
        <translation>The smallest file at the same look, slower to compress; older software may not open it</translation>
    </message>
    <message>
        <source>不限</source>
        <translation>No limit</translation>
    </message>
    <message>
        <source>同样观感,最小文件</source>
        <translation>Same look, smallest file</translation>
    </message>
    <message>
        <source>大小上限</source>
        <translation>Size limit</translation>
    </message>
    <message>
        <source>按压缩强度的观感(SSIM)先试编几段,找出画质不变时最小的文件,再完整压缩,耗时更长。用于勾选“画质优先”并转换为新格式的视频。</source>
        <translation>Tries a few short samples to find the smallest file that keeps the strength’s look (SSIM), then compresses the whole video; takes longer. For videos written to a new format with “Quality” ticked.</translation>
    </message>
    <message>
        <source>按压缩强度的观感(SSIM)找出画质不变时最小的 JPG、WebP 或 AVIF 文件。</source>
        <translation>Finds the smallest JPG, WebP or AVIF file that keeps the strength’s look (SSIM).</translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation>File size</translation>
    </message>
    <message>
        <source>每个输出文件都不超过这个大小:自动选择码率、画质和尺寸。留空或 0 表示不限制。</source>
        <translation>Every output stays under this size: the bit rate, quality and size are chosen for it. Empty or 0 for no limit.</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>dialog</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>dialog-title</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>secondary</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished" />
    </message>
</context>
<context>
    <name>Param</name>
    <message>
        <source>参数设置</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>dialog</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>#Param #caption {
    background-color: #FFFFFF;
    border-bottom: 1px solid #E5E6EB;
}
#param-buttons {
    background-color: #F7F8FA;
    border-top: 1px solid #E5E6EB;
}
#save,
#cancel {
    min-width: 64px;
    padding: 0 16px;
}</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>dialog-title</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>压缩强度</source>
        <translation>Strength</translation>
    </message>
    <message>
        <source>optlabel</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>普通压缩</source>
        <translation>General</translation>
    </message>
    <message>
        <source>深度压缩</source>
        <translation>Deep</translation>
    </message>
    <message>
        <source>极限压缩</source>
        <translation>Limit</translation>
    </message>
    <message>
        <source>输出格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>原格式</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>MP4</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>FLV</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>分辨率</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>原分辨率</source>
        <translation>Original size</translation>
    </message>
    <message>
        <source>1920x1080</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>1280x720</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>1024x600</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>800x600</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>720x576</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>720x480</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>640x480</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>640x360</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>480x360</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>480x272</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>352x288</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>320x240</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>声道</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>双声道</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>单声道</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Sample rate</translation>
    </message>
    <message>
        <source>96000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>88200 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>64000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>48000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>44100 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>32000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>24000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>22050 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>16000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>12000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>11025 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>8000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>7350 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>比特率</source>
        <translation>Bit rate</translation>
    </message>
    <message>
        <source>320 kbps</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>128 kbps</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>96 kbps</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>64 kbps</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>这些参数只用于当前视频,恢复默认后改用全局设置。</source>
        <translation>These parameters apply to this video only; Restore defaults goes back to the global settings.</translation>
    </message>
    <message>
        <source>hint</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>恢复默认</source>
        <translation>Restore defaults</translation>
    </message>
    <message>
        <source>清除该视频的单独参数</source>
        <translation>Clear this video's own parameters</translation>
    </message>
    <message>
        <source>secondary</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>视频编码</source>
        <translation>Codec</translation>
    </message>
    <message>
        <source>转换为 MP4 或 MKV 时使用的视频编码</source>
        <translation>The video codec for MP4 or MKV output</translation>
    </message>
    <message>
        <source>H.264</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>H.265</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>AV1</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>不限</source>
        <translation>No limit</translation>
    </message>
    <message>
        <source>大小上限</source>
        <translation>Size limit</translation>
    </message>
    <message>
        <source>该视频的输出文件不超过这个大小。留空或 0 表示不限制。</source>
        <translation>This video’s output stays under this size. Empty or 0 for no limit.</translation>
    </message>
</context>
<context>
    <name>PopMenu</name>
    <message>
        <source>#PopMenu {
    background-color: #FFFFFF;
    border: 1px solid #D4D8DE;
}
QPushButton[class="menu-item"],
QPushButton[class="menu-item-danger"] {
    border: none;
    border-radius: 4px;
    background: transparent;
    color: #1F2329;
    text-align: left;
    padding: 0 12px;
}
QPushButton[class="menu-item"]:hover {
    background-color: #EAF2FE;
    color: #2F7CF6;
}
QPushButton[class="menu-item-danger"] {
    color: #F53F3F;
}
QPushButton[class="menu-item-danger"]:hover {
    background-color: #FDECEC;
    color: #F53F3F;
}
QPushButton[class="menu-item"]:pressed {
    background-color: #DCE9FD;
}
QPushButton[class="menu-item-danger"]:pressed {
    background-color: #FBDADA;
}
#menuSeparator {
    background-color: #E5E6EB;
}</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>参数设置</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>menu-item</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>打开输出目录</source>
        <translation>Open output folder</translation>
    </message>
    <message>
        <source>重新压缩</source>
        <translation>Compress again</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>menu-item-danger</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>取消压缩</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>PromptBox</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>dialog</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>dialog-title</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished" />
    </message>
</context>
<context>
    <name>Seting</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>dialog</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>#Seting #caption {
    background-color: #FFFFFF;
    border-bottom: 1px solid #E5E6EB;
}
#seting-nav {
    background-color: #F7F8FA;
    border-right: 1px solid #E5E6EB;
}
QPushButton[class="nav"] {
    border: none;
    border-radius: 6px;
    background: transparent;
    color: #4E5969;
    text-align: left;
    padding: 0 14px;
}
QPushButton[class="nav"]:hover {
    color: #1F2329;
    background-color: #EEF0F3;
}
QPushButton[class="nav"]:checked {
    color: #2F7CF6;
    background-color: #EAF2FE;
    font-weight: bold;
}
QLabel[class="section"] {
    font-size: 14px;
    font-weight: bold;
    color: #1F2329;
}
#output-dir {
    background-color: #F7F8FA;
    color: #4E5969;
}
#open-dir {
    qproperty-icon: url(skin:images/folder.png);
    qproperty-iconSize: 14px 14px;
}</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>dialog-title</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>基本设置</source>
        <translation>General</translation>
    </message>
    <message>
        <source>nav</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>其他设置</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>输出目录</source>
        <translation>Output folder</translation>
    </message>
    <message>
        <source>section</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>更改目录</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>primary</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>打开目录</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>音频设置</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>声道</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>optlabel</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>双声道</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>单声道</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Sample rate</translation>
    </message>
    <message>
        <source>96000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>88200 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>64000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>48000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>44100 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>32000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>24000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>22050 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>16000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>12000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>11025 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>8000 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>7350 Hz</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>比特率</source>
        <translation>Bit rate</translation>
    </message>
    <message>
        <source>320 kbps</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>128 kbps</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>96 kbps</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>64 kbps</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>每项设置选择后立即保存,从下一个开始压缩的视频起生效。</source>
        <translation>Each setting is saved when chosen and applies from the next video that starts.</translation>
    </message>
    <message>
        <source>hint</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>关闭主面板时</source>
        <translation>When the main window is closed</translation>
    </message>
    <message>
        <source>退出程序</source>
        <translation>Quit the program</translation>
    </message>
    <message>
        <source>最小化到系统托盘,不退出程序</source>
        <translation>Minimize to the system tray and keep running</translation>
    </message>
    <message>
        <source>输出文件</source>
        <translation>Output files</translation>
    </message>
    <message>
        <source>保留较小的文件</source>
        <translation>Keep the smaller file</translation>
    </message>
    <message>
        <source>压缩后的文件不比原文件小时不保留输出,列表中显示“已保留原文件”。</source>
        <translation>When the compressed file is not smaller than the source, no output is kept and the list shows "Original kept".</translation>
    </message>
    <message>
        <source>保留信息</source>
        <translation>Keep</translation>
    </message>
    <message>
        <source>保留原文件的信息</source>
        <translation>What outputs keep from their sources</translation>
    </message>
    <message>
        <source>保留所有音轨、字幕和章节</source>
        <translation>Keep every track, subtitle and chapter</translation>
    </message>
    <message>
        <source>保留文件日期</source>
        <translation>Keep file dates</translation>
    </message>
    <message>
        <source>保留照片中的 GPS 位置。不勾选时删除位置信息,分享照片时不会泄露地点。</source>
        <translation>Keeps the photo’s GPS location. Unticked, the location is removed so shared photos do not give it away.</translation>
    </message>
    <message>
        <source>保留照片信息</source>
        <translation>Keep photo information</translation>
    </message>
    <message>
        <source>全部放在输出目录中</source>
        <translation>All in the output folder</translation>
    </message>
    <message>
        <source>加在原文件名后、扩展名前,例如 视频_small.mp4</source>
        <translation>Added after the name, before the extension, e.g. video_small.mp4</translation>
    </message>
    <message>
        <source>同时保留拍摄地点</source>
        <translation>Keep the location too</translation>
    </message>
    <message>
        <source>图片输出保留拍摄时间、相机、镜头、曝光等信息(EXIF、XMP),方向按旋转后的图片写为正常。</source>
        <translation>Image outputs keep the date taken, camera, lens, exposure and more (EXIF, XMP); the orientation is written as normal for the turned picture.</translation>
    </message>
    <message>
        <source>放在原文件旁边,文件名加后缀</source>
        <translation>Beside each original, with a suffix</translation>
    </message>
    <message>
        <source>放在输出目录中,保留所添加文件夹的目录结构</source>
        <translation>In the output folder, keeping the added folders’ tree</translation>
    </message>
    <message>
        <source>替换原文件,原文件移到回收站</source>
        <translation>In place of the original, which goes to the trash</translation>
    </message>
    <message>
        <source>替换原文件时,只有压缩后更小的文件才会替换原文件;原文件移到回收站,可以从回收站恢复;文件日期和照片信息会保留。</source>
        <translation>In place: only a smaller output replaces the original; the original goes to the trash, where it can be restored; file dates and photo information are kept.</translation>
    </message>
    <message>
        <source>每项设置选择后立即保存,从下一个开始压缩的文件起生效。</source>
        <translation>Each choice is saved at once and applies from the next file compressed.</translation>
    </message>
    <message>
        <source>视频输出保留原视频的所有音轨、输出格式支持的字幕、章节和标题等信息。不勾选时只保留一条视频和一条音频。</source>
        <translation>Video outputs keep every audio track, the subtitles the format holds, chapters, title and other information. Unticked, one video and one audio track are kept.</translation>
    </message>
    <message>
        <source>输出位置</source>
        <translation>Output place</translation>
    </message>
    <message>
        <source>输出文件(视频和图片)使用原文件的修改时间和访问时间。</source>
        <translation>Outputs (videos and images) take the original’s modified and accessed times.</translation>
    </message>
    <message>
        <source>输出文件存放位置</source>
        <translation>Where outputs go</translation>
    </message>
    <message>
        <source>输出目录在“基本设置”中更改。</source>
        <translation>The output folder is changed under “General”.</translation>
    </message>
</context>
<context>
    <name>row</name>
    <message>
        <source>row</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>rowname</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>rowcell</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>0%</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>压缩失败</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>rowerror</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>rowresult</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>rowsaving</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>压缩</source>
        <translation>Compress</translation>
    </message>
    <message>
        <source>rowbtn</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>⋯</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>rowmenu</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>更多操作</source>
        <translation>More</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>rowflag</source>
        <translation type="unfinished" />
    </message>
    <message>
        <source>此文件使用自定义参数</source>
        <translation>This file uses its own parameters</translation>
    </message>
    <message>
        <source>rowhint</source>
        <translation type="unfinished" />
    </message>
</context>
</TS>
