#include "gui/recorder/navigation_interceptor.h"

namespace velk::recorder {

void NavigationInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const auto type = info.resourceType();
    if (type == QWebEngineUrlRequestInfo::ResourceTypeXhr) {
        emit scriptRequest(info.requestUrl(), info.requestMethod());
        return;
    }
    if (type != QWebEngineUrlRequestInfo::ResourceTypeMainFrame &&
        type != QWebEngineUrlRequestInfo::ResourceTypeSubFrame)
        return;
    if (info.navigationType() == QWebEngineUrlRequestInfo::NavigationTypeRedirect) return;
    emit navigation(info.requestUrl(), info.requestMethod() == "POST");
}

}  // namespace velk::recorder
