#include "app/LogErros.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "VisaoGravada.h"
#include "app/DataHora.h"
#include "app/ErrosDoPasso.h"
#include "app/RegistroAtividade.h"
#include "support/Files.h"
#include "support/OutroUsuario.h"

namespace {

namespace fs = std::filesystem;
using namespace app;

class DailyErrorLog : public ::testing::Test {
 protected:
  static std::string Ler(const std::string& arquivo) { return support::ReadFile(arquivo); }

  support::TempDir temp_{"logerros"};
  std::string pasta_ = temp_.Path();
  TDateTime agora_ = rtl::EncodeDateTime(2026, 2, 3, 23, 59, 58, 0);
};

TEST_F(DailyErrorLog, FirstFailureCreatesFolderAndFileLaterOnesAppend) {
  LogErros log(pasta_ + "/bin", [this] { return agora_; });
  const std::string arquivo = pasta_ + "/bin/logImportacao/03022026.txt";
  EXPECT_EQ(log.Arquivo(agora_), arquivo);
  ASSERT_FALSE(fs::exists(pasta_ + "/bin/logImportacao"));

  ASSERT_TRUE(log.GravarLogErro("ERRO AO INSERIR CLIENTE: 15 - JO\xC3O",
                                "MySQL Error Code: (1064)\r\nYou have an error"));
  agora_ += 1.0 / 86400;
  ASSERT_TRUE(log.GravarLogErro(">ERRO AO INSERIR O PRODUTO: 7 - X", "falhou"));

  EXPECT_EQ(Ler(arquivo),
            "**23:59:58 - 03/02/2026 - ERRO AO INSERIR CLIENTE: 15 - JO\xC3O Erro do sistema: "
            "MySQL Error Code: (1064)\r\nYou have an error\r\n"
            "**23:59:59 - 03/02/2026 - >ERRO AO INSERIR O PRODUTO: 7 - X Erro do sistema: "
            "falhou\r\n");

  // After midnight the next failure starts a new file; the old one stays.
  agora_ += 2.0 / 86400;
  ASSERT_TRUE(log.GravarLogErro("C", "M"));
  EXPECT_EQ(Ler(pasta_ + "/bin/logImportacao/04022026.txt"),
            "**00:00:01 - 04/02/2026 - C Erro do sistema: M\r\n");
  EXPECT_NE(Ler(arquivo).find("falhou"), std::string::npos);
}

TEST_F(DailyErrorLog, FolderThatCannotBeCreatedIsReportedNotThrown) {
  // The program "folder" is a file, so logImportacao cannot be made below it.
  std::ofstream(pasta_ + "/programa") << "x";
  LogErros log(pasta_ + "/programa", [this] { return agora_; });
  bool gravado = true;
  EXPECT_NO_THROW(gravado = log.GravarLogErro("C", "M"));
  EXPECT_FALSE(gravado);
  EXPECT_EQ(log.UltimoArquivo(), pasta_ + "/programa/logImportacao/03022026.txt");
  EXPECT_FALSE(log.UltimoErro().empty());
}

TEST_F(DailyErrorLog, FileInTheWayOfTheFolderIsReported) {
  std::ofstream(pasta_ + "/logImportacao") << "x";
  LogErros log(pasta_, [this] { return agora_; });
  EXPECT_FALSE(log.GravarLogErro("C", "M"));
  EXPECT_FALSE(log.UltimoErro().empty());
}

TEST_F(DailyErrorLog, DayFileThatCannotBeOpenedIsReportedAndTheNextDayWorks) {
  LogErros log(pasta_, [this] { return agora_; });
  fs::create_directories(log.Arquivo(agora_));  // a folder where the file should be
  EXPECT_FALSE(log.GravarLogErro("C", "M"));
  EXPECT_EQ(log.UltimoArquivo(), log.Arquivo(agora_));
  agora_ += 1;
  EXPECT_TRUE(log.GravarLogErro("C", "M"));
  EXPECT_EQ(Ler(log.Arquivo(agora_)), "**23:59:58 - 04/02/2026 - C Erro do sistema: M\r\n");
}

mode_t Modo(const std::string& caminho) {
  struct stat st {};
  EXPECT_EQ(::lstat(caminho.c_str(), &st), 0) << caminho;
  return st.st_mode & 07777;
}

TEST_F(DailyErrorLog, NewFolderAndFilesAreTheUsersAloneExistingFilesKeepTheirMode) {
  const mode_t antiga = ::umask(0);  // the modes must not rely on the umask
  LogErros log(pasta_, [this] { return agora_; });
  const bool gravado = log.GravarLogErro("C", "M");
  ::umask(antiga);
  ASSERT_TRUE(gravado) << log.UltimoErro();
  EXPECT_EQ(Modo(log.Pasta()), 0700u);
  EXPECT_EQ(Modo(log.Arquivo(agora_)), 0600u);

  // A file the operator opened up on purpose stays as it is.
  ASSERT_EQ(::chmod(log.Arquivo(agora_).c_str(), 0640), 0);
  ASSERT_TRUE(log.GravarLogErro("C", "N"));
  EXPECT_EQ(Modo(log.Arquivo(agora_)), 0640u);
  EXPECT_EQ(Ler(log.Arquivo(agora_)),
            "**23:59:58 - 03/02/2026 - C Erro do sistema: M\r\n"
            "**23:59:58 - 03/02/2026 - C Erro do sistema: N\r\n");
}

TEST_F(DailyErrorLog, PlantedDayFileLinkIsRefusedAndItsTargetUntouched) {
  LogErros log(pasta_, [this] { return agora_; });
  fs::create_directories(log.Pasta());
  std::ofstream(pasta_ + "/vitima") << "intacta";
  fs::create_symlink(pasta_ + "/vitima", log.Arquivo(agora_));
  EXPECT_FALSE(log.GravarLogErro("C", "M"));
  EXPECT_FALSE(log.UltimoErro().empty());
  EXPECT_EQ(Ler(pasta_ + "/vitima"), "intacta");

  // A dangling link does not create its target either.
  fs::remove(log.Arquivo(agora_));
  fs::create_symlink(pasta_ + "/nova", log.Arquivo(agora_));
  EXPECT_FALSE(log.GravarLogErro("C", "M"));
  EXPECT_FALSE(fs::exists(pasta_ + "/nova"));
}

TEST_F(DailyErrorLog, UsersOwnFolderLinkIsFollowed) {
  fs::create_directories(pasta_ + "/outra");
  fs::create_symlink(pasta_ + "/outra", pasta_ + "/logImportacao");
  LogErros log(pasta_, [this] { return agora_; });
  ASSERT_TRUE(log.GravarLogErro("C", "M")) << log.UltimoErro();
  EXPECT_EQ(Ler(pasta_ + "/outra/03022026.txt"),
            "**23:59:58 - 03/02/2026 - C Erro do sistema: M\r\n");
}

// A program folder others may write (a shared install folder) lets a
// neighbour prepare logImportacao before the agent's first failure.
TEST_F(DailyErrorLog, NeighbourCannotRedirectTheLogThroughAWritableProgramFolder) {
  SKIP_SEM_OUTRO_USUARIO();
  ASSERT_EQ(::chmod(pasta_.c_str(), 0777), 0);
  const std::string vitima = pasta_ + "/vitima";
  std::ofstream(vitima) << "intacta";
  fs::create_directories(pasta_ + "/alvo");
  LogErros log(pasta_, [this] { return agora_; });

  // The neighbour's link in place of the folder.
  int status = support::ExecutarComoOutroUsuario(
      {"/bin/ln", "-s", pasta_ + "/alvo", pasta_ + "/logImportacao"});
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(log.GravarLogErro("C", "M"));
  EXPECT_EQ(log.UltimoErro(), "a pasta do log \xE9 um link simb\xF3lico de outro usu\xE1rio");
  EXPECT_TRUE(fs::is_empty(pasta_ + "/alvo"));
  fs::remove(pasta_ + "/logImportacao");

  // The neighbour's folder holding a link in place of the day file.
  status =
      support::ExecutarComoOutroUsuario({"/bin/sh", "-c", "mkdir \"$1\" && ln -s \"$2\" \"$3\"",
                                         "sh", log.Pasta(), vitima, log.Arquivo(agora_)});
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(log.GravarLogErro("C", "M"));
  EXPECT_EQ(Ler(vitima), "intacta");
}

}  // namespace

namespace {

TEST_F(DailyErrorLog, UnwritableLogIsToldOncePerPassOnThePassPane) {
  std::ofstream(pasta_ + "/logImportacao") << "x";  // the folder cannot be made
  LogErros log(pasta_, [this] { return agora_; });
  apptest::VisaoGravada visao;
  RegistroAtividade registro(visao, [this] { return agora_; });

  for (int passo = 0; passo < 2; ++passo) {
    ErrosDoPasso erros(log, registro, Painel::Produtos);
    EXPECT_FALSE(erros.Registrar("C1", "M1"));
    EXPECT_FALSE(erros.Registrar("C2", "M2"));
    EXPECT_EQ(erros.NaoGravados(), 2);
  }
  const std::vector<std::string>& linhas = visao.paineis[Painel::Produtos];
  ASSERT_EQ(linhas.size(), 2u);
  EXPECT_EQ(linhas[0], linhas[1]);
  EXPECT_EQ(linhas[0].rfind(
                "** ERRO AO GRAVAR O LOG DE ERROS " + pasta_ + "/logImportacao/03022026.txt: ", 0),
            0u)
      << linhas[0];
  EXPECT_TRUE(visao.paineis[Painel::Clientes].empty());

  fs::remove(pasta_ + "/logImportacao");
  ErrosDoPasso erros(log, registro, Painel::Clientes);
  EXPECT_TRUE(erros.Registrar("C", "M"));
  EXPECT_EQ(erros.NaoGravados(), 0);
  EXPECT_TRUE(visao.paineis[Painel::Clientes].empty());
}

}  // namespace
