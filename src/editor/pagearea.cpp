#include "pagearea.h"

#ifdef KUAIDI_HAS_WEBENGINE
#include "embeddedpage.h"
#endif
#ifdef KUAIDI_HAS_DEVTOOLS
#include "ownbrowserpanel.h"
#endif

using namespace Qt::StringLiterals;

namespace Kuaidi {

QString editorStepsHtml()
{
    return uR"(<!DOCTYPE html><html><head><meta charset="utf-8"><style>
body { font-family: sans-serif; color: #333; margin: 2em; line-height: 1.7; }
h2 { color: #b03020; } li { margin-bottom: .4em; }
</style></head><body>
<h2>淘宝网店快递费用模板快速编辑器</h2>
<ol>
<li>在上方“物流工具网址”中确认地址，点击“1.打开”，登录后进入运费模板的编辑页面。</li>
<li>在右侧选择快递模板，再选择客户级别（或通过 excel 导入）。</li>
<li>点击“3.智能匹配”，程序为每个地区找到页面上对应的勾选框。</li>
<li>右键单击右侧列表中的地区，选择“勾选”：页面上该地区会被勾选，并在右侧显示首重、续重价格，照着填写即可。选择“勾选同价地区”，可一次勾选首重、续重价格都相同的全部地区；勾错了可以“取消勾选”。</li>
</ol></body></html>)"_s;
}

PageArea *createPageArea(PageBackend backend, QWidget *parent)
{
#if defined(KUAIDI_HAS_WEBENGINE) && defined(KUAIDI_HAS_DEVTOOLS)
    if (backend == PageBackend::OwnBrowser)
        return new OwnBrowserPanel(DevToolsTab::defaultOptions(), parent);
    return new EmbeddedPage(parent);
#elif defined(KUAIDI_HAS_WEBENGINE)
    Q_UNUSED(backend);
    return new EmbeddedPage(parent);
#else
    Q_UNUSED(backend);
    return new OwnBrowserPanel(DevToolsTab::defaultOptions(), parent);
#endif
}

} // namespace Kuaidi
