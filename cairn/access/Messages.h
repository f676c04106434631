// The component layer's fixed error texts. "%s" marks where a name is filled in (FormatMessage).
#pragma once

namespace cairn {

// Field and index definitions.
inline constexpr const char* SFieldNameMissing = "Field name missing";
inline constexpr const char* SDuplicateName = "Duplicate name '%s' in %s";
inline constexpr const char* SDuplicateIndexName = "Duplicate index name '%s'";
inline constexpr const char* SInvalidFieldSize = "Invalid field size";
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SNoIndexForFields = "No index for fields '%s'";
inline constexpr const char* SUnknownFieldType = "Field '%s' is of an unknown type";

// Engine, session and database objects.
inline constexpr const char* SEngineActive =
    "Cannot perform this operation when the engine is active";
inline constexpr const char* SInvalidSessionName = "Session name '%s' is not valid";
inline constexpr const char* SDuplicateSessionName = "Session name '%s' already exists";
inline constexpr const char* SSessionNameMissing = "Session name is missing";
inline constexpr const char* SRemoteSessionOnServer =
    "Cannot activate a remote session with the server engine";
inline constexpr const char* SSessionActive = "Cannot perform this operation on an active session";
inline constexpr const char* SSessionInactive =
    "Cannot perform this operation on an inactive session";
inline constexpr const char* SAutoSessionActive =
    "Cannot perform this operation on the active auto-session";
inline constexpr const char* SAutoSessionExists = "This auto-session already exists";
inline constexpr const char* SAutoSessionExclusive =
    "The active auto-session can be the only active session";
inline constexpr const char* SDatabaseNameMissing = "Database name is missing";
inline constexpr const char* SInvalidDatabaseName = "Database name '%s' is not valid";
inline constexpr const char* SDuplicateDatabaseName = "Database name '%s' already exists";
inline constexpr const char* SDatabaseOpen = "Cannot perform this operation on an open database";
inline constexpr const char* SDatabaseClosed = "Cannot perform this operation on a closed database";
// This build runs the engine locally only.
inline constexpr const char* SRemoteNotAvailable =
    "Remote sessions are not available in this build";
inline constexpr const char* SServerNotAvailable =
    "The server engine is not available in this build";
inline constexpr const char* SInvalidExtension = "File extension '%s' is not valid";

// Datasets and table objects.
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SNotEditing = "Table is not in edit or insert mode";
inline constexpr const char* SNotIndexField = "Field '%s' is not in the current index";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SNoTableName = "Missing table name";
inline constexpr const char* SHandleError = "Error creating table handle";
inline constexpr const char* SOnePrimaryIndex = "Only one primary index allowed per table";

}  // namespace cairn
