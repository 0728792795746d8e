// The runner on Windows: CreateProcessW with the command line built by the process service's
// own quoting, standard handles inherited for the redirection, the output captured in
// temporary files deleted when closed, a wait with the limit and TerminateProcess.
#include <algorithm>
#include <cwchar>

#include "fakes/esegui.h"
#include "platform/process/process.h"
#include "platform/text/wide.h"

namespace mlx::fakes {

namespace {

SECURITY_ATTRIBUTES kEreditabile = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
constexpr DWORD kCondivisa = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE FileTemporaneo() {
  wchar_t cartella[MAX_PATH + 1], nome[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, cartella) == 0 ||
      GetTempFileNameW(cartella, L"mlx", 0, nome) == 0) {
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(nome, GENERIC_READ | GENERIC_WRITE, kCondivisa, &kEreditabile, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string Rileggi(HANDLE file) {
  std::string testo;
  if (file == INVALID_HANDLE_VALUE) return testo;
  char blocco[65536];
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  for (DWORD n = 0; ReadFile(file, blocco, sizeof blocco, &n, nullptr) && n > 0;) {
    testo.append(blocco, n);
  }
  CloseHandle(file);
  return testo;
}

// This process's environment block with the entries replaced (names without regard to case)
// or added.
std::wstring Blocco(const std::vector<std::string>& ambiente) {
  std::vector<std::wstring> voci;
  wchar_t* tutte = GetEnvironmentStringsW();
  for (const wchar_t* v = tutte; *v != L'\0'; v += std::wcslen(v) + 1) voci.emplace_back(v);
  FreeEnvironmentStringsW(tutte);
  for (const std::string& voce : ambiente) {
    const std::wstring nome = text::ToWide(voce.substr(0, voce.find('=')) + "=");
    const int n = static_cast<int>(nome.size());
    std::erase_if(voci, [&](const std::wstring& v) {
      return v.size() >= nome.size() &&
             CompareStringOrdinal(v.data(), n, nome.data(), n, TRUE) == CSTR_EQUAL;
    });
    voci.push_back(text::ToWide(voce));
  }
  std::wstring blocco;
  for (const std::wstring& v : voci) blocco.append(v).push_back(L'\0');
  blocco.push_back(L'\0');
  return blocco;
}

}  // namespace

Esito Esegui(const Comando& c) {
  Esito esito;
  if (c.terminale) {
    esito.errori = "no terminal to give a program on Windows";
    return esito;
  }
  std::string argomenti;
  for (const std::string& a : c.argomenti) {
    argomenti += (argomenti.empty() ? "" : " ") + process::QuoteArgument(a);
  }
  std::wstring riga = text::ToWide(process::BuildCommandLine(c.programma, argomenti));
  std::wstring blocco = Blocco(c.ambiente);
  const std::wstring cartella = text::ToWide(c.cartella);

  STARTUPINFOW avvio = {};
  avvio.cb = sizeof avvio;
  avvio.dwFlags = STARTF_USESTDHANDLES;
  avvio.hStdInput = CreateFileW(c.ingresso.empty() ? L"NUL" : text::ToWide(c.ingresso).c_str(),
                                GENERIC_READ, kCondivisa, &kEreditabile, OPEN_EXISTING, 0, nullptr);
  avvio.hStdOutput = FileTemporaneo();
  avvio.hStdError = FileTemporaneo();
  PROCESS_INFORMATION processo = {};
  const bool partito =
      CreateProcessW(text::ToWide(c.programma).c_str(), riga.data(), nullptr, nullptr, TRUE,
                     CREATE_UNICODE_ENVIRONMENT, blocco.data(),
                     cartella.empty() ? nullptr : cartella.c_str(), &avvio, &processo);
  const DWORD errore = GetLastError();
  if (avvio.hStdInput != INVALID_HANDLE_VALUE) CloseHandle(avvio.hStdInput);
  if (!partito) {
    Rileggi(avvio.hStdOutput);
    Rileggi(avvio.hStdError);
    esito.errori = c.programma + ": " + text::SystemErrorText(errore);
    return esito;
  }
  CloseHandle(processo.hThread);
  const DWORD limite = c.limite.count() > 0 ? static_cast<DWORD>(c.limite.count()) : INFINITE;
  if (WaitForSingleObject(processo.hProcess, limite) == WAIT_TIMEOUT) {
    esito.scaduto = true;
    TerminateProcess(processo.hProcess, 1);
    WaitForSingleObject(processo.hProcess, INFINITE);
  }
  DWORD stato = 0;
  // A status that cannot be read stays -1, never taken for a success.
  if (GetExitCodeProcess(processo.hProcess, &stato) && stato != STILL_ACTIVE) {
    esito.stato = static_cast<int>(stato);
  }
  CloseHandle(processo.hProcess);
  esito.uscita = Rileggi(avvio.hStdOutput);
  esito.errori = Rileggi(avvio.hStdError);
  return esito;
}

bool CreaFifo(const std::string&) {
  return false;
}

}  // namespace mlx::fakes
