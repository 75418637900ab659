#include "app/LogErros.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/Catalogo.h"
#include "app/PastaLog.h"

namespace app {

LogErros::LogErros(std::string pastaPrograma, Relogio relogio)
    : pastaPrograma_(std::move(pastaPrograma)),
      relogio_(relogio ? std::move(relogio) : Relogio(Agora)) {}

std::string LogErros::Pasta() const {
  return pastaPrograma_ + "/logImportacao";
}

std::string LogErros::Arquivo(TDateTime momento) const {
  return Pasta() + "/" + DataNomeArquivo(momento) + ".txt";
}

namespace {

// A descriptor closed when it goes out of scope.
class Descritor {
 public:
  explicit Descritor(int fd) : fd_(fd) {}
  ~Descritor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descritor(const Descritor&) = delete;
  Descritor& operator=(const Descritor&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting whether the close succeeded.
  bool Fechar() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Opens the log folder, creating it 0700 when missing. A folder that is a
// symbolic link is followed only when the link is the running user's own:
// another user's link could send the entries to any file this user may
// write. Returns -1 with `motivo` set otherwise.
int AbrirPasta(const std::string& pasta, std::string& motivo) {
  if (::mkdir(pasta.c_str(), 0700) != 0 && errno != EEXIST) {
    motivo = std::strerror(errno);
    return -1;
  }
  struct stat link {};
  if (::lstat(pasta.c_str(), &link) != 0) {
    motivo = std::strerror(errno);
    return -1;
  }
  int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  if (S_ISLNK(link.st_mode)) {
    if (link.st_uid != ::geteuid()) {
      motivo = "a pasta do log \xE9 um link simb\xF3lico de outro usu\xE1rio";
      return -1;
    }
  } else {
    flags |= O_NOFOLLOW;  // the folder must not turn into a link after the check
  }
  int fd = ::open(pasta.c_str(), flags);
  if (fd < 0) motivo = std::strerror(errno);
  return fd;
}

}  // namespace

bool LogErros::GravarLogErro(const std::string& contexto, const std::string& mensagem) {
  try {
    TDateTime momento = relogio_();
    std::string arquivo = Arquivo(momento);
    ultimoArquivo_ = arquivo;
    std::string entrada = EntradaLogErro(CarimboTempo(momento), contexto, mensagem) + "\r\n";
    ultimaEntrada_ = entrada;

    std::error_code erro;
    std::filesystem::create_directories(pastaPrograma_, erro);
    if (erro) {
      ultimoErro_ = erro.message();
      return false;
    }
    Descritor pasta(AbrirPasta(Pasta(), ultimoErro_));
    if (pasta.get() < 0) return false;

    // Created 0600 when missing, appended otherwise; a day file that is a
    // symbolic link is refused (O_NOFOLLOW), so a planted link cannot send
    // the entry elsewhere. The bytes go out as they are, without any
    // conversion.
    const std::string nome = arquivo.substr(arquivo.rfind('/') + 1);
    struct stat existente {};
    const bool novo = ::fstatat(pasta.get(), nome.c_str(), &existente, AT_SYMLINK_NOFOLLOW) != 0 &&
                      errno == ENOENT;
    Descritor saida(::openat(pasta.get(), nome.c_str(),
                             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (saida.get() < 0) {
      ultimoErro_ = std::strerror(errno);
      return false;
    }
    std::size_t escritos = 0;
    while (escritos < entrada.size()) {
      ssize_t n = ::write(saida.get(), entrada.data() + escritos, entrada.size() - escritos);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ultimoErro_ = n < 0 ? std::strerror(errno) : std::strerror(EIO);
        return false;
      }
      escritos += static_cast<std::size_t>(n);
    }
    if (!saida.Fechar()) {
      ultimoErro_ = std::strerror(errno);
      return false;
    }
    // A new day: the days past keeping go.
    if (novo) RemoverDiasAntigos(Pasta(), momento, diasGuardados_);
    return true;
  } catch (const std::exception& e) {
    ultimoErro_ = e.what();
    return false;
  }
}

}  // namespace app
