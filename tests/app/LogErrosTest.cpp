#include "app/LogErros.h"

#include <gtest/gtest.h>
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

namespace {

namespace fs = std::filesystem;
using namespace app;

class DailyErrorLog : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string modelo = (fs::temp_directory_path() / "logerros-XXXXXX").string();
    ASSERT_NE(mkdtemp(modelo.data()), nullptr);
    pasta_ = modelo;
  }
  void TearDown() override { fs::remove_all(pasta_); }
  static std::string Ler(const std::string& arquivo) {
    std::ifstream in(arquivo, std::ios::binary);
    std::ostringstream texto;
    texto << in.rdbuf();
    return texto.str();
  }

  std::string pasta_;
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
