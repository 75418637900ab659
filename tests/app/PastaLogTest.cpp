// Where the daily log goes (beside the program, the state folder, the
// option) and how its folder stays bounded: old days removed when a new
// day's file is made, nothing else touched.
#include "app/PastaLog.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "VisaoGravada.h"
#include "app/Agente.h"
#include "app/ArquivoConfiguracao.h"
#include "app/LogErros.h"
#include "os/Shell.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;
using namespace app;

class PastaLogTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(log_); }

  void Arquivo(const std::string& nome, const std::string& conteudo = "x") {
    std::ofstream(log_ / nome, std::ios::binary) << conteudo;
  }
  std::set<std::string> Nomes() const {
    std::set<std::string> nomes;
    for (const auto& e : fs::directory_iterator(log_)) nomes.insert(e.path().filename().string());
    return nomes;
  }

  support::TempDir temp_{"pastalog"};
  fs::path pasta_ = temp_.Path();
  fs::path log_ = pasta_ / "logImportacao";
  // 9 December 2026: 60 days before is 10 October 2026.
  TDateTime agora_ = rtl::EncodeDateTime(2026, 12, 9, 0, 0, 1, 0);
};

TEST_F(PastaLogTest, ANewDaysFileRemovesOnlyTheDailyFilesPastKeeping) {
  Arquivo("09102026.txt");  // 61 days before: goes
  Arquivo("31121999.txt");  // long ago: goes
  Arquivo("10102026.txt");  // 60 days before: kept
  Arquivo("08122026.txt");  // yesterday: kept
  Arquivo("31022026.txt");  // not a date
  Arquivo("0910202.txt");
  Arquivo("notas.txt");
  Arquivo("09102026.txt.bak");
  fs::create_directory(log_ / "01012020.txt");  // a folder named like a day
  std::ofstream(pasta_ / "alheio.txt") << "de outro";
  fs::create_symlink(pasta_ / "alheio.txt", log_ / "02012020.txt");

  LogErros log(pasta_.string(), [this] { return agora_; });
  log.DefinirDiasGuardados(60);
  // An entry into a day's file that already exists removes nothing.
  Arquivo("09122026.txt", "antes\r\n");
  ASSERT_TRUE(log.GravarLogErro("C", "M"));
  EXPECT_TRUE(fs::exists(log_ / "09102026.txt"));

  fs::remove(log_ / "09122026.txt");
  ASSERT_TRUE(log.GravarLogErro("C", "M"));
  const std::set<std::string> esperado{"10102026.txt", "08122026.txt", "31022026.txt",
                                       "0910202.txt",  "notas.txt",    "09102026.txt.bak",
                                       "01012020.txt", "02012020.txt", "09122026.txt"};
  EXPECT_EQ(Nomes(), esperado);
  EXPECT_TRUE(fs::exists(pasta_ / "alheio.txt"));
  // The new day's file is exactly one entry, as always.
  std::ifstream dia(log_ / "09122026.txt", std::ios::binary);
  std::string conteudo((std::istreambuf_iterator<char>(dia)), {});
  EXPECT_EQ(conteudo, "**00:00:01 - 09/12/2026 - C Erro do sistema: M\r\n");
}

TEST_F(PastaLogTest, ZeroDaysKeepsEverything) {
  Arquivo("01012000.txt");
  EXPECT_EQ(RemoverDiasAntigos(log_.string(), agora_, 0), 0);
  EXPECT_EQ(RemoverDiasAntigos((pasta_ / "nada").string(), agora_, 60), 0);
  EXPECT_TRUE(fs::exists(log_ / "01012000.txt"));
  EXPECT_EQ(RemoverDiasAntigos(log_.string(), agora_, 60), 1);
  EXPECT_EQ(DiasGuardadosPadrao(), 60);
}

TEST_F(PastaLogTest, TheFolderIsChosenFromTheOptionTheBuildFolderOrTheStateFolder) {
  const std::string programa = os::ExecutableDirectory();
  ASSERT_TRUE(NaPastaDoBuild(programa)) << programa;
  EXPECT_FALSE(NaPastaDoBuild("/usr/bin"));

  const char* antes = getenv("XDG_STATE_HOME");
  const std::string salvo = antes ? antes : "";
  setenv("XDG_STATE_HOME", pasta_.c_str(), 1);
  EXPECT_EQ(PastaEstado(), pasta_.string() + "/tolvex");
  // Run from its build folder the program keeps its log beside itself; an
  // installed copy (any other folder) uses the state folder; the option wins.
  EXPECT_EQ(EscolherPastaLog({}, programa).pasta, programa);
  EXPECT_FALSE(EscolherPastaLog({}, programa).estado);
  EXPECT_EQ(EscolherPastaLog({}, "/usr/bin").pasta, pasta_.string() + "/tolvex");
  EXPECT_TRUE(EscolherPastaLog({}, "/usr/bin").estado);
  EXPECT_EQ(EscolherPastaLog(std::string("/x"), "/usr/bin").pasta, "/x");
  // A relative XDG_STATE_HOME is ignored, as the base directory rules say.
  setenv("XDG_STATE_HOME", "relativa", 1);
  if (getenv("HOME") != nullptr) {
    EXPECT_EQ(PastaEstado(), std::string(getenv("HOME")) + "/.local/state/tolvex");
  }
  if (antes)
    setenv("XDG_STATE_HOME", salvo.c_str(), 1);
  else
    unsetenv("XDG_STATE_HOME");
}

TEST(DiasDoLog, TheConfigurationFileSetsTheDaysKept) {
  auto ler = [](const std::string& texto) {
    ConfiguracaoAgente c;
    LerTextoConfiguracao(texto, "agente.conf", c);
    return c;
  };
  EXPECT_EQ(ler("[log]\ndias=90\n").diasLog, 90);
  EXPECT_EQ(ler("[log]\ndias = 0\n").diasLog, 0);
  EXPECT_FALSE(ler("[pdv]\nhost=x\n").diasLog);
  for (const char* ruim : {"[log]\ndias=-1\n", "[log]\ndias=6o\n", "[log]\ndias=\n",
                           "[log]\ndias=99999\n", "[log]\nhost=x\n", "[pdv]\ndias=3\n"}) {
    ConfiguracaoAgente c;
    EXPECT_THROW(LerTextoConfiguracao(ruim, "agente.conf", c), ErroConfiguracao) << ruim;
  }
  EXPECT_NE(TextoChavesConfiguracao().find("[log]:\n    dias"), std::string::npos);

  apptest::VisaoGravada view;
  OpcoesAgente opcoes;
  opcoes.pastaLog = ::testing::TempDir();
  EXPECT_EQ(Agente(view, opcoes).Log().DiasGuardados(), DiasGuardadosPadrao());
  opcoes.configuracao.diasLog = 7;
  EXPECT_EQ(Agente(view, opcoes).Log().DiasGuardados(), 7);
}

}  // namespace
