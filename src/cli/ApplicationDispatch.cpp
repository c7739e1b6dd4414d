#include "ApplicationParser.h"
#include "Executor.h"
#include "apps/AddApp.h"
#include "apps/AppCommands.h"
#include "apps/AppIdList.h"

namespace quillet {

void SExecutor::RunApplicationCommand(const SApplicationParser& parser) {
    switch (parser.m_command) {
    case CMD_APP_ADD:
        m_result = AddApp(parser.GetTokenSource(), parser.m_isUrl != 0 ? VARIANT_TRUE : VARIANT_FALSE);
        break;
    case CMD_APP_REMOVE:
        ExecuteRemove(parser);
        break;
    case CMD_APP_START:
        m_result = StartApp(parser.GetAppGuid(), parser.GetParameters());
        break;
    case CMD_APP_RUN_CMD:
        ExecuteRunCmd(parser);
        break;
    case CMD_APP_STOP:
        ExecuteStop(parser);
        break;
    case CMD_APP_GET_ID_LIST:
        m_result = PrintAppIdList();
        break;
    default:
        // A parser that accepted the words always names one of the commands above.
        m_result = E_UNEXPECTED;
        break;
    }
}

} // namespace quillet
