// tolvex-agent as a process: --headless --once against the sandbox, its
// output and exit status; a run ended by SIGTERM; the command line.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "agente_suporte.h"

namespace agentetest {
namespace {

namespace fs = std::filesystem;

fs::path Programa() {
  return fs::read_symlink("/proc/self/exe").parent_path() / ".." / ".." / "app" / "tolvex-agent";
}

struct Execucao {
  int status = -1;
  std::string saida;
};

// Starts the program with `args`, its output going to `arquivo`.
pid_t Iniciar(const std::vector<std::string>& args, const fs::path& arquivo) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(arquivo.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<char*> argv;
    const std::string programa = Programa().string();
    argv.push_back(const_cast<char*>(programa.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(programa.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

std::string Ler(const fs::path& arquivo) {
  std::ifstream f(arquivo, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

int Esperar(pid_t pid) {
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

class ProgramaTest : public AgenteServidor {
 protected:
  void SetUp() override {
    AgenteServidor::SetUp();
    if (IsSkipped()) return;
    if (!fs::exists(Programa())) GTEST_SKIP() << "tolvex-agent is not built";
  }
  Execucao Rodar(std::vector<std::string> args) {
    const fs::path arquivo = pasta_ / "saida.txt";
    Execucao e;
    e.status = Esperar(Iniciar(args, arquivo));
    e.saida = Ler(arquivo);
    return e;
  }
  std::vector<std::string> Servidores(const std::string& retaguarda = "") {
    const std::string s = Host() + ":" + std::to_string(Port());
    return {"--retaguarda", retaguarda.empty() ? s : retaguarda, "--pdv", s, "--pasta-log",
            pasta_.string()};
  }
};

TEST_F(ProgramaTest, OncePrintsThePanesAsUtf8AndEndsWithZero) {
  Cliente(15, "cliente", "'MARIA SILVA'");
  Produto(7, "descricao,ean13",
          "'P\xC3O DE A\xC7\xDA"
          "CAR','789'");
  std::vector<std::string> args{"--headless", "--once"};
  for (auto& s : Servidores()) args.push_back(s);
  const Execucao e = Rodar(args);
  EXPECT_EQ(e.status, 0) << e.saida;
  for (const char* linha : {"Clientes: INICIANDO Tolvex Integra\xC3\xA7\xC3\xA3o\n",
                            "Produtos: INICIANDO Tolvex Integra\xC3\xA7\xC3\xA3o\n",
                            "Bandeja: Importa\xC3\xA7\xC3\xA3o de Clientes - Iniciando...\n",
                            "Clientes: >> 1 clientes a serem importados\n",
                            "Clientes: >> CLIENTE 15 - MARIA SILVA *INSERIDO COM SUCESSO\n",
                            "Clientes: *** Importados: 1 - Atualizados: 0\n",
                            "Produtos: Produto INSERIDO: 7 - P\xC3\x83O DE A\xC3\x87\xC3\x9A"
                            "CAR\n",
                            "Produtos: *** Importados: 1 - Atualizados: 0 - Exclu\xC3\xAD"
                            "do:0 - Erros: 0\n"})
    EXPECT_NE(e.saida.find(linha), std::string::npos) << linha << "\n" << e.saida;
  EXPECT_LT(e.saida.find("Clientes: >> CLIENTE 15"), e.saida.find("Produtos: Produto INSERIDO"));
  EXPECT_EQ(ContarPdv("select count(*) from produto"), 1);
}

TEST_F(ProgramaTest, UnreachableBackOfficeShowsTheErrorAndEndsWithOne) {
  std::vector<std::string> args{"--headless", "--once"};
  for (auto& s : Servidores("127.0.0.1:1")) args.push_back(s);
  const Execucao e = Rodar(args);
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.saida.rfind("Erro: MySQL Error Code: (2003)", 0), 0u) << e.saida;
}

TEST_F(ProgramaTest, SigtermEndsTheTimerRunAndClosesBothConnections) {
  Retaguarda("update cadparametos set tempoatualizacaoPDV='00:00:01'");
  Cliente(1, "cliente", "'UM'");
  std::vector<std::string> args{"--headless"};
  for (auto& s : Servidores()) args.push_back(s);
  const fs::path arquivo = pasta_ / "saida.txt";
  const pid_t pid = Iniciar(args, arquivo);
  // Wait for the second pass (the first tick, one second after the start).
  bool segunda = false;
  for (int i = 0; i < 100 && !segunda; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string s = Ler(arquivo);
    segunda = s.find("Nenhum cliente") != std::string::npos;
  }
  EXPECT_TRUE(segunda) << Ler(arquivo);
  kill(pid, SIGTERM);
  EXPECT_EQ(Esperar(pid), 0) << Ler(arquivo);
  // The server lets go of the agent's sessions once they said goodbye.
  const long long propria = ContarRetaguarda("select connection_id()");
  long long sessoes = 1;
  for (int i = 0; i < 40 && sessoes != 0; ++i) {
    sessoes = ContarPdv(
        "select count(*) from information_schema.processlist where user='tolve536' and "
        "db='tolve536_vidoru' and id<>" +
        std::to_string(propria));
    sessoes += ContarPdv(
        "select count(*) from information_schema.processlist where user='root' and "
        "db='t2tipafecf'");
    if (sessoes) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_EQ(sessoes, 0);
}

// Both servers and their credentials from a file given with --config; a
// wrong password in it is the one the server sees, and a refused file
// starts nothing.
TEST_F(ProgramaTest, OnceWithTheServersOfAConfigurationFile) {
  Cliente(21, "cliente", "'JOANA'");
  const fs::path conf = pasta_ / "agente.conf";
  auto escrever = [&](const std::string& senha, mode_t modo) {
    std::ofstream(conf) << "[retaguarda]\nhost=" << Host() << "\nporta=" << Port()
                        << "\nusuario=" << kAgentUser << "\nsenha=" << senha
                        << "\n[pdv]\nhost=" << Host() << "\nporta=" << Port() << "\n";
    chmod(conf.c_str(), modo);
  };
  const std::vector<std::string> args{"--headless",  "--once",      "--config",
                                      conf.string(), "--pasta-log", pasta_.string()};
  escrever(kAgentPassword, 0600);
  Execucao e = Rodar(args);
  EXPECT_EQ(e.status, 0) << e.saida;
  EXPECT_NE(e.saida.find("Clientes: >> CLIENTE 21 - JOANA *INSERIDO COM SUCESSO"),
            std::string::npos)
      << e.saida;

  escrever("errada", 0600);
  e = Rodar(args);
  EXPECT_EQ(e.status, 1);
  EXPECT_NE(e.saida.find("(1045)"), std::string::npos) << e.saida;

  escrever(kAgentPassword, 0644);
  e = Rodar(args);
  EXPECT_EQ(e.status, 2);
  EXPECT_EQ(e.saida.find("Clientes:"), std::string::npos) << e.saida;
  EXPECT_NE(e.saida.find("agente.conf, linha 5, chave senha: o arquivo guarda uma senha"),
            std::string::npos)
      << e.saida;
}

TEST_F(ProgramaTest, CommandLineErrorsAndHelp) {
  EXPECT_EQ(Rodar({"--nada"}).status, 2);
  const Execucao ajuda = Rodar({"--help"});
  EXPECT_EQ(ajuda.status, 0);
  EXPECT_NE(ajuda.saida.find("--retaguarda"), std::string::npos);
}

}  // namespace
}  // namespace agentetest
