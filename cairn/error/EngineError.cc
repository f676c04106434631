#include "cairn/error/EngineError.h"

#include <string>

#include "cairn/host/CodePage.h"

namespace cairn {
namespace {

// "Cairn Engine Error # <code> <text>". The text is an 8-bit engine string; the exception's
// message is UTF-8 like every other database error.
std::string EngineErrorMessage(uint16_t errorCode, const TEngineErrorContext& context) {
  std::string text = "Cairn Engine Error # " + std::to_string(errorCode) + " " +
                     EngineErrorString(errorCode, context);
  return host::AnsiToUtf8(text);
}

}  // namespace

ECairnEngineError::ECairnEngineError(uint16_t errorCode, const TEngineErrorContext& context)
    : EDatabaseError(EngineErrorMessage(errorCode, context)),
      FErrorCode(errorCode),
      FOSErrorCode(context.OSErrorNumber),
      FSocketErrorCode(context.SocketErrorNumber),
      FErrorRemoteName(context.RemoteName),
      FErrorUserName(context.UserName),
      FErrorDatabaseName(context.DatabaseName),
      FErrorTableName(context.TableName),
      FErrorFieldName(context.FieldName),
      FErrorIndexName(context.IndexName),
      FErrorMessage(context.Message),
      FErrorProcedureName(context.ProcedureName),
      FErrorEventName(context.EventName),
      FErrorLine(context.Line),
      FErrorColumn(context.Column) {}

}  // namespace cairn
