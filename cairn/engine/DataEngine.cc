#include "cairn/engine/DataEngine.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>

#include "cairn/engine/DataLocale.h"
#include "cairn/engine/OsErrorCode.h"
#include "cairn/engine/DataSession.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/Locales.h"
#include "cairn/host/OsError.h"

namespace cairn {

namespace {

// The one piece of global state: the process's engine.
std::atomic<TDataEngine*> gDataEngine{nullptr};

}  // namespace

TDataEngine& DataEngine() {
  TDataEngine* engine = gDataEngine.load();
  if (engine == nullptr) throw std::logic_error("No storage engine exists in this process");
  return *engine;
}

bool HasDataEngine() {
  return gDataEngine.load() != nullptr;
}

TDataEngine::TDataEngine()
    : FHostFiles(&host::PosixFiles()), FFileRegistry(std::make_unique<TFileRegistry>(*this)) {
  SetSignature(kDefaultSignature);
  // The limits hold from the start, so that files used before Initialize see sane values.
  SetLimitsAndGeometry();
  TDataEngine* none = nullptr;
  gDataEngine.compare_exchange_strong(none, this);
}

TDataEngine::~TDataEngine() {
  Reset();
  TDataEngine* self = this;
  gDataEngine.compare_exchange_strong(self, nullptr);
}

// ---- Life cycle -------------------------------------------------------------------------------

void TDataEngine::Initialize(const std::string& lockFileName,
                             const TServerSettings& serverSettings) {
  if (FIsServer)
    throw std::runtime_error("The database server is not available in this build of the engine");
  PopulateLocales();
  FRandomSlots.Reseed();
  FIsWindows95 = false;
  if (!lockFileName.empty()) FSettings.LockFileName = lockFileName;
  FServerSettings = serverSettings;
  SetLimitsAndGeometry();
  FFunctionCount = 0;
  if (FOnGetFunctions)
    FFunctionCount = std::clamp<int32_t>(FOnGetFunctions(), 0, kMaxFunctionCount);
  FInitialized = true;
}

void TDataEngine::Reset() {
  // Sessions are freed outside the section, last started first: freeing one closes its
  // directories and tables, which takes other sections.
  std::vector<std::unique_ptr<TDataSession>> sessions;
  {
    std::lock_guard lock(FDataSessionSection);
    sessions.swap(FDataSessionList);
  }
  while (!sessions.empty()) sessions.pop_back();
  // Files still registered are closed whatever refers to them.
  FFileRegistry->CloseAll();
  FFunctionCount = 0;
  {
    std::lock_guard lock(FLocaleSection);
    while (!FLocaleList.empty()) FLocaleList.pop_back();
  }
  FInitialized = false;
}

void TDataEngine::SetLimitsAndGeometry() {
  int64_t fileLockByte;
  if (FSettings.LargeFileSupport) {
    FMaximumFileSize = 128'000'000'000;
    FMaximumNumRecords = 1'000'000'000;
    fileLockByte = INT64_C(0x7FFFFFFFFFFFFFFF);
  } else {
    FMaximumFileSize = 4'000'000'000;
    FMaximumNumRecords = 200'000'000;
    fileLockByte = INT64_C(0xFFFFFFFF);
  }
  FLockGeometry = TLockGeometry(fileLockByte, FMaximumNumRecords);
}

// ---- Sessions ---------------------------------------------------------------------------------

TDataSession& TDataEngine::StartDataSession() {
  auto session = std::make_unique<TDataSession>(*this);
  std::lock_guard lock(FDataSessionSection);
  FDataSessionList.push_back(std::move(session));
  return *FDataSessionList.back();
}

void TDataEngine::CloseDataSession(TDataSession& session) {
  std::unique_ptr<TDataSession> closing;
  {
    std::lock_guard lock(FDataSessionSection);
    auto it = std::find_if(FDataSessionList.begin(), FDataSessionList.end(),
                           [&](const auto& s) { return s.get() == &session; });
    if (it == FDataSessionList.end()) return;
    closing = std::move(*it);
    FDataSessionList.erase(it);
  }
}

size_t TDataEngine::SessionCount() {
  std::lock_guard lock(FDataSessionSection);
  return FDataSessionList.size();
}

// ---- Errors -----------------------------------------------------------------------------------

void TDataEngine::ThrowError(uint16_t errorCode, const TEngineErrorContext& context) {
  // Held until the error leaves: two threads raising at once cannot mix their records.
  std::lock_guard lock(FErrorSection);
  FLastError = context;
  FLastError.ErrorNumber = errorCode;
  FLastError.OSErrorNumber = FOSErrorNumber;
  FLastError.SocketErrorNumber = FSocketErrorNumber;
  FOSErrorNumber = 0;
  FSocketErrorNumber = 0;
  throw ECairnEngineError(errorCode, FLastError);
}

int32_t TDataEngine::OSError(int windowsError) {
  std::lock_guard lock(FErrorSection);
  FOSErrorNumber = EngineCodeFromWindowsError(windowsError);
  return FOSErrorNumber;
}

uint16_t TDataEngine::ConvertExceptionToCode(const std::exception& error) {
  if (const auto* engineError = dynamic_cast<const ECairnEngineError*>(&error))
    return engineError->ErrorCode();
  return CAIRN_OSUNKNOWN;
}

std::string TDataEngine::GetErrorString(uint16_t errorCode) {
  std::lock_guard lock(FErrorSection);
  std::string text = EngineErrorString(errorCode, FLastError);
  if (text.size() > 254) text.resize(254);
  return text;
}

std::string TDataEngine::TranslateErrorConstant(uint16_t errorCode) const {
  return EngineErrorConstant(errorCode);
}

TEngineErrorContext TDataEngine::LastError() {
  std::lock_guard lock(FErrorSection);
  return FLastError;
}

// ---- Host -------------------------------------------------------------------------------------

void TDataEngine::SetHostFiles(host::THostFiles* files) {
  FHostFiles = files != nullptr ? files : &host::PosixFiles();
}

// ---- File names, versions and signature -------------------------------------------------------

std::string TDataEngine::TableFileName(std::string_view tableName,
                                       std::string_view extension) const {
  std::string name = host::TrimBlanks(tableName);
  const std::string& dataExtension = FSettings.DataExtension;
  const size_t extLength = dataExtension.size();
  if (extLength > 0 && name.size() >= extLength &&
      host::AnsiSameText(std::string_view(name).substr(name.size() - extLength), dataExtension))
    name.resize(name.size() - extLength);
  name += extension;
  return name;
}

std::string TDataEngine::TableFilePath(std::string_view directoryPath, std::string_view tableName,
                                       std::string_view extension) const {
  return std::string(directoryPath) + TableFileName(tableName, extension);
}

std::string TDataEngine::VersionToStr(uint8_t version) {
  static const char* const kNames[] = {"1.00", "1.02", "1.04", "1.08", "2.00", "3.00", "4.00"};
  return ValidVersion(version) ? kNames[version] : "";
}

void TDataEngine::SetSignature(const std::string& signature) {
  FSettings.Signature = signature;
  FSignatureDigest = MD5Digest(FSettings.Signature);
}

bool TDataEngine::IsAcceptedSignature(const TMD5Digest& fileSignature) const {
  return fileSignature == FSignatureDigest || fileSignature == MD5Digest(kDefaultSignature);
}

// ---- Compression ------------------------------------------------------------------------------

std::vector<char> TDataEngine::Compress(const void* inBuffer, size_t inBytes, int level) {
  std::string_view input(static_cast<const char*>(inBuffer), inBytes);
  std::vector<char> output;
  bool done = false;
  if (level >= 1 && level <= 9) {
    try {
      done = FOnCompress ? FOnCompress(input, level, output) : ZlibCompress(input, level, output);
    } catch (const std::exception&) {
      done = false;
    }
  }
  if (!done) RaiseError(CAIRN_COMPRESS);
  return output;
}

std::vector<char> TDataEngine::Decompress(const void* inBuffer, size_t inBytes, size_t maxBytes) {
  std::string_view input(static_cast<const char*>(inBuffer), inBytes);
  std::vector<char> output;
  bool done = false;
  try {
    done = FOnDecompress ? FOnDecompress(input, output) : ZlibDecompress(input, output, maxBytes);
  } catch (const std::exception&) {
    done = false;
  }
  if (done && output.size() > maxBytes) done = false;
  if (!done) RaiseError(CAIRN_UNCOMPRESS);
  return output;
}

// ---- Encryption -------------------------------------------------------------------------------

std::unique_ptr<TCipher> TDataEngine::CryptoInit(const void* key, size_t length) {
  if (!FOnCryptoInit) return NewBlowfishCipher(key, length);
  std::unique_ptr<TCipher> cipher = FOnCryptoInit(key, length);
  if (!cipher) throw std::logic_error("The crypto-init hook set up no cipher");
  return cipher;
}

// ---- Locales ----------------------------------------------------------------------------------

void TDataEngine::PopulateLocales() {
  auto list = BuildLocaleList(*this);
  std::lock_guard lock(FLocaleSection);
  FLocaleList.swap(list);
}

bool TDataEngine::IsValidLocale(uint32_t localeId) const {
  return localeId == kAnsiLocaleId || host::IsInstalledLocale(localeId);
}

std::vector<std::string> TDataEngine::GetLocaleNames() {
  std::lock_guard lock(FLocaleSection);
  std::vector<std::string> names;
  for (const auto& locale : FLocaleList) names.push_back(locale->Name());
  return names;
}

std::optional<uint32_t> TDataEngine::ConvertLocaleConstantToID(const std::string& name) {
  std::lock_guard lock(FLocaleSection);
  for (const auto& locale : FLocaleList)
    if (host::AnsiSameText(locale->Name(), name) || host::AnsiSameText(locale->ShortName(), name))
      return locale->ID();
  return std::nullopt;
}

std::string TDataEngine::ConvertIDToLocaleConstant(uint32_t localeId) {
  std::lock_guard lock(FLocaleSection);
  for (const auto& locale : FLocaleList)
    if (locale->ID() == localeId) return locale->Name();
  return "";
}

int TDataEngine::CompareStrings(uint32_t localeId, std::string_view a, std::string_view b) const {
  return host::CompareLocaleStrings(localeId, a, b);
}

std::string TDataEngine::UpperCase(uint32_t localeId, std::string_view s) const {
  return host::LocaleUpperCase(localeId, s);
}

std::string TDataEngine::LowerCase(uint32_t localeId, std::string_view s) const {
  return host::LocaleLowerCase(localeId, s);
}

}  // namespace cairn
