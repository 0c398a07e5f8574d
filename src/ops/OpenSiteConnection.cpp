#include "ops/OpenSiteConnection.h"

#include "db/SiteConnection.h"

std::optional<db::Connection> OpenSiteConnection(SiteWindow& window, const db::Connection::WaitHook& hook)
{
    try {
        return db::openSite(window.connectionFields(), hook);
    } catch (const db::TlsDemanded& e) {
        window.showMessage(MessageIcon::Critical,
                           std::string(e.what()) +
                               "\nСервер принимает это соединение только защищённым (TLS): " + window.tlsHint() + ".");
    } catch (const db::DbError& e) {
        window.showMessage(MessageIcon::Critical, e.what());
    }
    return std::nullopt;
}
