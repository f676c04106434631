// The errors of the engine and its components.
//
// EDatabaseError is the generic database error: a message and nothing else; the component layer
// raises it with fixed texts. ECairnEngineError is every failure the storage engine detects: an
// error code, the message "Cairn Engine Error # <code> <text>" and the context the engine recorded
// when it raised the error (database, table, field and index names and more).
//
// This header is a leaf: it depends on the host layer only, so the storage engine below the
// components can raise these errors.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

class EDatabaseError : public std::exception {
 public:
  explicit EDatabaseError(std::string message) : FMessage(std::move(message)) {}
  // UTF-8 text of the error.
  const std::string& Message() const { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 protected:
  std::string FMessage;
};

// The last-error record: what the engine knew when it raised an error. Names and the extra
// message are 8-bit (Windows-1252) strings.
struct TEngineErrorContext {
  uint16_t ErrorNumber = 0;
  int32_t OSErrorNumber = 0;
  int32_t SocketErrorNumber = 0;
  std::string RemoteName;
  std::string UserName;
  std::string DatabaseName;
  std::string TableName;
  std::string FieldName;
  std::string IndexName;
  std::string Message;
  std::string ProcedureName;
  std::string EventName;
  int32_t Line = 0;
  int32_t Column = 0;
  int32_t SessionID = 0;
};

class ECairnEngineError : public EDatabaseError {
 public:
  // Builds the error for a code from the engine's last-error record.
  ECairnEngineError(uint16_t errorCode, const TEngineErrorContext& context);

  uint16_t ErrorCode() const { return FErrorCode; }
  int32_t OSErrorCode() const { return FOSErrorCode; }
  int32_t SocketErrorCode() const { return FSocketErrorCode; }
  const std::string& ErrorRemoteName() const { return FErrorRemoteName; }
  const std::string& ErrorUserName() const { return FErrorUserName; }
  const std::string& ErrorDatabaseName() const { return FErrorDatabaseName; }
  const std::string& ErrorTableName() const { return FErrorTableName; }
  const std::string& ErrorFieldName() const { return FErrorFieldName; }
  const std::string& ErrorIndexName() const { return FErrorIndexName; }
  const std::string& ErrorMessage() const { return FErrorMessage; }
  const std::string& ErrorProcedureName() const { return FErrorProcedureName; }
  const std::string& ErrorEventName() const { return FErrorEventName; }
  int32_t ErrorLine() const { return FErrorLine; }
  int32_t ErrorColumn() const { return FErrorColumn; }

 private:
  uint16_t FErrorCode;
  int32_t FOSErrorCode;
  int32_t FSocketErrorCode;
  std::string FErrorRemoteName;
  std::string FErrorUserName;
  std::string FErrorDatabaseName;
  std::string FErrorTableName;
  std::string FErrorFieldName;
  std::string FErrorIndexName;
  std::string FErrorMessage;
  std::string FErrorProcedureName;
  std::string FErrorEventName;
  int32_t FErrorLine;
  int32_t FErrorColumn;
};

// The message text of a code filled from a last-error record, cut to 254 characters (8-bit).
// Codes without a message give "An unknown error occurred".
std::string EngineErrorString(uint16_t errorCode, const TEngineErrorContext& context);
// The constant name of a code ("CAIRN_TABLEEXISTS"); "CAIRN_NONE" for 0; empty when the code
// has no constant.
std::string EngineErrorConstant(uint16_t errorCode);

}  // namespace cairn
