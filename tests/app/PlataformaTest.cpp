#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "app/JanelaModelo.h"
#include "os/Connectivity.h"
#include "os/Shell.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;

const char* kCabecalho4 =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(Connectivity, Ipv4RoutesThroughAnInterfaceThatIsUp) {
  struct Caso {
    std::string linhas;
    bool conectado;
  };
  for (const Caso& c : {
           Caso{"eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n", true},
           Caso{"eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n", true},
           Caso{"lo\t0000007F\t00000000\t0001\t0\t0\t0\t000000FF\t0\t0\t0\n", false},
           Caso{"eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n", false},
           Caso{"eth0\t00000000\n", false},
           Caso{"", false},
       }) {
    EXPECT_EQ(os::Ipv4RouteTableHasUsableRoute(kCabecalho4 + c.linhas), c.conectado) << c.linhas;
  }
  // The header line is never a route, whatever it holds.
  EXPECT_FALSE(os::Ipv4RouteTableHasUsableRoute(
      "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"));
}

TEST(Connectivity, Ipv6RoutesIgnoreLoopbackLinkLocalAndOwnAddresses) {
  const std::string zeros(32, '0');
  auto linha = [&](const std::string& destino, const std::string& flags, const std::string& nome) {
    return destino + " 40 " + zeros + " 00 " + zeros + " 00000100 00000001 00000000 " + flags +
           "     " + nome + "\n";
  };
  EXPECT_TRUE(os::Ipv6RouteTableHasUsableRoute(linha(zeros, "00000003", "eth0")));
  EXPECT_TRUE(
      os::Ipv6RouteTableHasUsableRoute(linha("2001" + zeros.substr(4), "00000001", "wlan0")));
  EXPECT_FALSE(
      os::Ipv6RouteTableHasUsableRoute(linha("fe80" + zeros.substr(4), "00000001", "eth0")));
  EXPECT_FALSE(
      os::Ipv6RouteTableHasUsableRoute(linha("ff00" + zeros.substr(4), "00000001", "eth0")));
  EXPECT_FALSE(os::Ipv6RouteTableHasUsableRoute(
      linha("fd00" + zeros.substr(4), "80200001", "eth0")));  // own address
  EXPECT_FALSE(os::Ipv6RouteTableHasUsableRoute(linha(zeros, "00200200", "lo")));
  EXPECT_FALSE(os::Ipv6RouteTableHasUsableRoute(linha(zeros, "00000201", "eth0")));  // reject
  EXPECT_FALSE(os::Ipv6RouteTableHasUsableRoute(""));
}

class ShellTest : public ::testing::Test {
 protected:
  void Criar(const std::string& nome, const std::string& texto, mode_t modo) {
    std::ofstream(raiz_ + "/" + nome) << texto;
    chmod((raiz_ + "/" + nome).c_str(), modo);
  }
  support::TempDir temp_{"shell"};
  std::string raiz_ = temp_.Path();
};

TEST_F(ShellTest, FindOnPathTakesTheFirstExecutableFile) {
  fs::create_directories(raiz_ + "/a");
  fs::create_directories(raiz_ + "/b");
  fs::create_directories(raiz_ + "/c/kcalc");  // a folder is not a program
  Criar("a/kcalc", "", 0644);                  // not executable
  Criar("b/kcalc", "#!/bin/sh\n", 0755);
  const std::string caminho = raiz_ + "/c:" + raiz_ + "/a:" + raiz_ + "/b";
  EXPECT_EQ(os::FindOnPath("kcalc", caminho), raiz_ + "/b/kcalc");
  EXPECT_FALSE(os::FindOnPath("xcalc", caminho).has_value());
  EXPECT_FALSE(os::FindOnPath("", caminho).has_value());
  EXPECT_EQ(os::FindOnPath(raiz_ + "/b/kcalc", ""), raiz_ + "/b/kcalc");
  EXPECT_FALSE(os::FindOnPath(raiz_ + "/a/kcalc", caminho).has_value());
  EXPECT_EQ(
      os::CalculatorCandidates(),
      (std::vector<std::string>{"gnome-calculator", "kcalc", "galculator", "mate-calc", "xcalc"}));
}

TEST_F(ShellTest, ExecutarArquivoStartsAnExecutableWithItsParameters) {
  const std::string saida = raiz_ + "/saida";
  Criar("ferramenta",
        "#!/bin/sh\necho \"$@\" > '" + saida + ".tmp' && mv '" + saida + ".tmp' '" + saida + "'\n",
        0755);
  ASSERT_TRUE(app::ExecutarArquivo(raiz_ + "/ferramenta", "-connect  123"));
  for (int i = 0; i < 200 && !fs::exists(saida); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ifstream in(saida);
  std::string texto;
  std::getline(in, texto);
  EXPECT_EQ(texto, "-connect 123");
  EXPECT_FALSE(app::ExecutarArquivo(raiz_ + "/nao-existe-e-nao-executa", ""));
  EXPECT_FALSE(os::StartProgram(raiz_ + "/nao-existe", {}));
  EXPECT_FALSE(os::StartProgram("", {}));
}

TEST(Folders, ProgramAndUserDataFolders) {
  EXPECT_TRUE(fs::exists(os::ExecutableDirectory() + "/test_app"));
  const char* antes = getenv("XDG_DATA_HOME");
  std::string guardado = antes ? antes : "";
  setenv("XDG_DATA_HOME", "/srv/dados", 1);
  EXPECT_EQ(os::UserDataDirectory(), "/srv/dados");
  setenv("XDG_DATA_HOME", "relativo", 1);  // not absolute: ignored
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    EXPECT_EQ(os::UserDataDirectory(), std::string(home) + "/.local/share");
    // No home at all: no folder, rather than one other users share.
    const std::string casa = home;
    unsetenv("HOME");
    EXPECT_EQ(os::UserDataDirectory(), "");
    setenv("HOME", casa.c_str(), 1);
  }
  if (antes) {
    setenv("XDG_DATA_HOME", guardado.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace
