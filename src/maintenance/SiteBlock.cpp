#include "maintenance/SiteBlock.h"

RunOutcome Command2_Click(OperationRunner& runner, const SettingsStore& settings)
{
    return runner.run([&](db::Connection& c) {
        c.execute("update tbl_conf set VALUEINT=0 where PARAM='ISWORK'");
        // Table names are case-sensitive on most servers: the table is spelled as everywhere else.
        const db::Rows rows = c.query("SELECT VALUESTR FROM tbl_conf WHERE PARAM='OFFLINEMES'");
        // A missing row or a NULL message counts as an empty message: the site is blocked either way.
        std::string message;
        if (!rows.empty())
            message = rows.front().text("VALUESTR").value_or("");
        settings.save(Stored::OfflineMessage, message);
        return Report{MessageIcon::Information, "Блок поставлен", ButtonLayout::Blocked};
    });
}

RunOutcome Command3_Click(OperationRunner& runner)
{
    return runner.run([](db::Connection& c) {
        c.execute("update tbl_conf set VALUEINT=1 where PARAM='ISWORK'");
        return Report{MessageIcon::Information, "Блок снят", ButtonLayout::Ready};
    });
}
