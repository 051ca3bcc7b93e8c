<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Kelvarin</name>
    <message>
        <location filename="../res/strings.h" line="12"/>
        <source>关于 Kelvarin</source>
        <translation>About Kelvarin</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="13"/>
        <source>Kelvarin 1.0 版</source>
        <translation>Kelvarin version 1.0</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="15"/>
        <source>关于 Kelvarin(&amp;A)...</source>
        <translation>&amp;About Kelvarin...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="22"/>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="23"/>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="25"/>
        <source>正在连接...</source>
        <translation>Connecting...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="26"/>
        <source>发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="27"/>
        <source>退出(&amp;Q)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="28"/>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="29"/>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="32"/>
        <source>选项(&amp;O)...</source>
        <translation>&amp;Options...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="34"/>
        <source>添加网站文件夹(&amp;F)...</source>
        <translation>Add site &amp;folder...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="35"/>
        <source>历史记录(&amp;H)...</source>
        <translation>&amp;History...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="38"/>
        <source>历史记录</source>
        <translation>History</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="39"/>
        <source>时间（UTC）</source>
        <translation>Time (UTC)</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="40"/>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="41"/>
        <source>设备</source>
        <translation>Device</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="42"/>
        <source>映像 SHA-256</source>
        <translation>Image SHA-256</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="43"/>
        <source>结果</source>
        <translation>Outcome</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="44"/>
        <source>用户</source>
        <translation>User</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="45"/>
        <source>开始</source>
        <translation>begun</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="46"/>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="49"/>
        <source>选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="51"/>
        <source>按文件类型设置内容类型(&amp;T)</source>
        <translation>Give each file its content &amp;type</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="53"/>
        <source>文本文件以 gzip 压缩存放(&amp;G)</source>
        <translation>Store text files &amp;gzip-compressed</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="55"/>
        <source>网站根目录（其下的文件按相对路径命名）：</source>
        <translation>Site root (files below it keep their paths):</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="56"/>
        <source>浏览(&amp;B)...</source>
        <translation>&amp;Browse...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="57"/>
        <source>查找设备(&amp;D)...</source>
        <translation>Find &amp;devices...</translation>
    </message>
    <message>
        <source>查找设备</source>
        <translation>Find devices</translation>
    </message>
    <message>
        <source>地址范围：</source>
        <translation>Addresses:</translation>
    </message>
    <message>
        <source>端口：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>查找(&amp;S)</source>
        <translation>&amp;Search</translation>
    </message>
    <message>
        <source>停止(&amp;T)</source>
        <translation>S&amp;top</translation>
    </message>
    <message>
        <source>使用(&amp;U)</source>
        <translation>&amp;Use</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>单元</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>设备识别</source>
        <translation>Identification</translation>
    </message>
    <message>
        <source>设备中的映像</source>
        <translation>Image held</translation>
    </message>
    <message>
        <source>是列表中文件的映像</source>
        <translation>The listed files&apos; image</translation>
    </message>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>no</translation>
    </message>
    <message>
        <source>正在查找……</source>
        <translation>Searching...</translation>
    </message>
    <message>
        <source>端口应为1到65535</source>
        <translation>The port is 1 to 65535</translation>
    </message>
    <message>
        <source>发送后回读校验(&amp;V)</source>
        <translation>&amp;Verify after sending</translation>
    </message>
    <message>
        <source>增量发送：只发送改动的部分，并读回核对(&amp;D)</source>
        <translation>Send only what change&amp;d, and read it back</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="59"/>
        <source>全部装下才发送(&amp;A)</source>
        <translation>Send only when &amp;all files fit</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="61"/>
        <source>网络</source>
        <translation>Network</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="62"/>
        <source>失败后重发次数：</source>
        <translation>Retries after a failure:</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="63"/>
        <source>同时发出的请求数：</source>
        <translation>Requests in flight:</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="64"/>
        <source>自动</source>
        <translation>auto</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="65"/>
        <source>每个请求的字节数：</source>
        <translation>Bytes a request:</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="66"/>
        <source>等待应答的毫秒数：</source>
        <translation>Reply time-out (ms):</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="68"/>
        <source>第一个请求等待的毫秒数：</source>
        <translation>First reply time-out (ms):</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="69"/>
        <source>同上</source>
        <translation>the same</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="71"/>
        <source>通信记录文件（每一帧一行，留空则不记录）：</source>
        <translation>Trace file (a line for each frame; empty for none):</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="72"/>
        <source>浏览(&amp;E)...</source>
        <translation>Brows&amp;e...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="73"/>
        <source>单元标识符（0-255）：</source>
        <translation>Unit identifier (0-255):</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="76"/>
        <source>备份文件夹（发送前先读出设备中的映像，留空则不备份）：</source>
        <translation>Backup folder (read out before each Send; empty: none):</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="77"/>
        <source>浏览(&amp;K)...</source>
        <translation>Brow&amp;se...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="79"/>
        <source>安全</source>
        <translation>Security</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="81"/>
        <source>以 TLS 连接（Modbus/TCP Security，双方验证证书）(&amp;S)</source>
        <translation>Connect over T&amp;LS (Modbus/TCP Security)</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="82"/>
        <source>本机证书：</source>
        <translation>Certificate:</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="83"/>
        <source>私钥：</source>
        <translation>Private key:</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="84"/>
        <source>CA 证书：</source>
        <translation>CA certificates:</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="85"/>
        <source>设备名称：</source>
        <translation>Device name:</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="87"/>
        <source>留空：所连接的地址；any：不检查</source>
        <translation>empty: the address; any: not checked</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="88"/>
        <source>浏览(&amp;C)...</source>
        <translation>B&amp;rowse...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="89"/>
        <source>浏览(&amp;Y)...</source>
        <translation>Br&amp;owse...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="90"/>
        <source>浏览(&amp;R)...</source>
        <translation>Bro&amp;wse...</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="92"/>
        <source>私钥口令</source>
        <translation>Private key passphrase</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="94"/>
        <source>私钥 %1 已加密，请输入它的口令：</source>
        <translation>The private key %1 is encrypted. Its passphrase:</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="97"/>
        <source>设备地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="98"/>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="99"/>
        <location filename="../res/strings.h" line="104"/>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="100"/>
        <source>连接设备</source>
        <translation>Device</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="105"/>
        <source>长度</source>
        <translation>Size</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="106"/>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="107"/>
        <source>总计</source>
        <translation>Total</translation>
    </message>
    <message>
        <location filename="../res/strings.h" line="108"/>
        <source>打开错误</source>
        <translation>open error</translation>
    </message>
    <message numerus="yes">
        <location filename="../res/strings.h" line="112"/>
        <source>文件数量：%n  文件最大上限是50，长度上限128K</source>
        <translation>
            <numerusform>%n file  (at most 50 files, 128K in all)</numerusform>
            <numerusform>%n files  (at most 50 files, 128K in all)</numerusform>
        </translation>
    </message>
</context>
</TS>
