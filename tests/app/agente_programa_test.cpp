// tolvex-agent as a process: --headless --once against the sandbox, its
// output and exit status; a run ended by SIGTERM; the command line.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "agente_suporte.h"
#include "support/Files.h"

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

// Environment changes for the program: a value, or unset when empty.
using Ambiente = std::vector<std::pair<std::string, std::string>>;

// Starts the program with `args`, its output going to `arquivo` (standard
// error to `erros` when given), with the environment changed by `ambiente`.
// Every run gets its own runtime folder, so runs of other tests never look
// like a second agent.
pid_t Iniciar(const std::vector<std::string>& args, const fs::path& arquivo,
              const Ambiente& ambiente = {}, const fs::path& erros = {},
              const std::vector<std::string>& antes = {}) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(arquivo.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(erros.empty() || erros == arquivo
             ? fd
             : open(erros.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
         2);
    setenv("XDG_RUNTIME_DIR", arquivo.parent_path().c_str(), 1);
    for (const auto& [nome, valor] : ambiente) {
      if (valor.empty())
        unsetenv(nome.c_str());
      else
        setenv(nome.c_str(), valor.c_str(), 1);
    }
    std::vector<char*> argv;
    const std::string programa = Programa().string();
    for (const auto& a : antes) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(const_cast<char*>(programa.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

std::string Ler(const fs::path& arquivo) {
  return support::ReadFile(arquivo);
}

// Waits up to five seconds for `texto` to appear in the file; false when it
// did not.
bool Aparece(const fs::path& arquivo, const std::string& texto) {
  for (int i = 0; i < 200; ++i) {
    if (Ler(arquivo).find(texto) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

// Today's daily log file name without ".txt" (ddmmyyyy, local time).
std::string DiaDeHoje() {
  const std::time_t agora = std::time(nullptr);
  std::tm tm{};
  localtime_r(&agora, &tm);
  char dia[16];
  std::strftime(dia, sizeof dia, "%d%m%Y", &tm);
  return dia;
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
  Execucao Rodar(std::vector<std::string> args, const Ambiente& ambiente = {}) {
    const fs::path arquivo = pasta_ / "saida.txt";
    Execucao e;
    e.status = Esperar(Iniciar(args, arquivo, ambiente));
    e.saida = Ler(arquivo);
    return e;
  }
  std::vector<std::string> Servidores(const std::string& retaguarda = "") {
    const std::string s = Host() + ":" + std::to_string(Port());
    return {"--retaguarda", retaguarda.empty() ? s : retaguarda, "--pdv", s, "--pasta-log",
            pasta_.string()};
  }
  // The options, then the servers' as Servidores gives them.
  std::vector<std::string> Argumentos(std::vector<std::string> opcoes,
                                      const std::string& retaguarda = "") {
    for (auto& s : Servidores(retaguarda)) opcoes.push_back(s);
    return opcoes;
  }
};

TEST_F(ProgramaTest, OncePrintsThePanesAsUtf8AndEndsWithZero) {
  Cliente(15, "cliente", "'MARIA SILVA'");
  Produto(7, "descricao,ean13",
          "'P\xC3O DE A\xC7\xDA"
          "CAR','789'");
  const Execucao e = Rodar(Argumentos({"--headless", "--once"}));
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
  const Execucao e = Rodar(Argumentos({"--headless", "--once"}, "127.0.0.1:1"));
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.saida.rfind("Erro: MySQL Error Code: (2003)", 0), 0u) << e.saida;
}

TEST_F(ProgramaTest, SigtermEndsTheTimerRunAndClosesBothConnections) {
  Retaguarda("update cadparametos set tempoatualizacaoPDV='00:00:01'");
  Cliente(1, "cliente", "'UM'");
  const fs::path arquivo = pasta_ / "saida.txt";
  const pid_t pid = Iniciar(Argumentos({"--headless"}), arquivo);
  // Wait for the second pass (the first tick, one second after the start).
  EXPECT_TRUE(Aparece(arquivo, "Nenhum cliente")) << Ler(arquivo);
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

TEST_F(ProgramaTest, CommandLineErrorsHelpAndVersionSpeakPortuguese) {
  const Execucao errada = Rodar({"--nada"});
  EXPECT_EQ(errada.status, 2);
  EXPECT_NE(errada.saida.find(": op\xC3\xA7\xC3\xA3o desconhecida '--nada'\nuso: "),
            std::string::npos)
      << errada.saida;
  EXPECT_EQ(Rodar({"--pdv", "h:0"}).saida.find(": porta inv\xC3\xA1lida em 'h:0'"),
            Programa().string().size());

  const Execucao ajuda = Rodar({"--help"});
  EXPECT_EQ(ajuda.status, 0);
  for (const char* trecho : {"uso: ", "--retaguarda H[:P]", "--pasta-log", "--version", "--config",
                             "$XDG_STATE_HOME/tolvex", "roda sem janelas",
                             "Status de sa\xC3\xAD"
                             "da: 0 sucesso"})
    EXPECT_NE(ajuda.saida.find(trecho), std::string::npos) << trecho << "\n" << ajuda.saida;
  EXPECT_EQ(ajuda.saida.find("usage"), std::string::npos);

  const Execucao versao = Rodar({"--version"});
  EXPECT_EQ(versao.status, 0);
  EXPECT_TRUE(std::regex_match(versao.saida, std::regex("tolvex-agent [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << versao.saida;
}

TEST_F(ProgramaTest, WithoutADisplayTheWindowsSayHowToRunHeadlessAndEndWithTwo) {
  const std::string mensagem =
      ": nenhuma tela encontrada para abrir as janelas do agente (DISPLAY ou WAYLAND_DISPLAY).\n"
      "Use --headless para rodar o agente no console, sem janelas.\n";
  // No display named at all, and one named that nothing answers on (Qt's
  // own failure, which would abort).
  for (const Ambiente& ambiente :
       {Ambiente{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}},
        Ambiente{{"DISPLAY", ":87"}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}}}) {
    const Execucao e = Rodar(Servidores(), ambiente);
    EXPECT_EQ(e.status, 2) << e.saida;
    EXPECT_EQ(e.saida, Programa().string() + mensagem);
  }
}

TEST_F(ProgramaTest, ASecondHeadlessAgentForTheSameServersEndsWithOne) {
  std::vector<std::string> args = Argumentos({"--headless"});
  const fs::path arquivo = pasta_ / "primeiro.txt";
  const pid_t primeiro = Iniciar(args, arquivo);
  EXPECT_TRUE(Aparece(arquivo, "FINALIZANDO")) << Ler(arquivo);

  const Execucao segundo = Rodar(args);
  EXPECT_EQ(segundo.status, 1);
  EXPECT_NE(segundo.saida.find(": Outro agente sem janelas j\xC3\xA1 est\xC3\xA1 rodando com esta "
                               "configura\xC3\xA7\xC3\xA3o (retaguarda " +
                               Host() + ":" + std::to_string(Port())),
            std::string::npos)
      << segundo.saida;
  EXPECT_EQ(segundo.saida.find("INICIANDO"), std::string::npos) << segundo.saida;

  // Other servers are another configuration; the first one's end frees its own.
  std::vector<std::string> outro{"--headless",  "--once", "--retaguarda",
                                 "127.0.0.1:1", "--pdv",  Host() + ":" + std::to_string(Port())};
  EXPECT_EQ(Rodar(outro).status, 1);  // its own failure: back office unreachable
  EXPECT_NE(Rodar(outro).saida.find("(2003)"), std::string::npos);
  kill(primeiro, SIGTERM);
  EXPECT_EQ(Esperar(primeiro), 0);
  args.push_back("--once");
  EXPECT_EQ(Rodar(args).status, 0);
}

TEST_F(ProgramaTest, AUserWhoCannotWriteBesideTheProgramGetsTheLogInTheStateFolder) {
  if (geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "needs root and setpriv to run the agent as nobody";
  Cliente(31, "cliente,sexo", "'RUIM','FEMININO'");
  Cliente(32, "cliente,sexo", "'PIOR','MASCULINO'");
  // A folder of nobody's own for its state; the program's folder stays root's.
  // Its name is UTF-8 on disk and Windows-1252 on the pane.
  const support::TempDir temp("estado");
  const fs::path estado = fs::path(temp.Path()) / "Configura\xC3\xA7\xC3\xA3o";
  ASSERT_TRUE(fs::create_directory(estado));
  for (const fs::path& p : {fs::path(temp.Path()), estado})
    ASSERT_EQ(chown(p.c_str(), 65534, 65534), 0);
  std::vector<std::string> args{"--headless",   "--once",
                                "--retaguarda", Host() + ":" + std::to_string(Port()),
                                "--pdv",        Host() + ":" + std::to_string(Port())};
  const fs::path saida = estado / "saida.txt";
  const int status = Esperar(
      Iniciar(args, saida, {{"XDG_STATE_HOME", estado.string()}, {"HOME", "/nonexistent"}}, {},
              {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}));
  const std::string texto = Ler(saida);
  EXPECT_EQ(status, 0) << texto;
  const fs::path pasta = estado / "tolvex" / "logImportacao";
  EXPECT_NE(
      texto.find("Clientes: Log de erros da importa\xC3\xA7\xC3\xA3o em " + pasta.string() + "\n"),
      std::string::npos)
      << texto;
  // The same bytes as beside the program: two entries, each with the
  // server's text on a line of its own, CR LF, Windows-1252, no header.
  const std::string carimbo = R"(\*\*\d\d:\d\d:\d\d - \d\d/\d\d/\d{4} - )";
  const std::regex entradas(
      carimbo +
      "ERRO AO INSERIR CLIENTE: 31 - RUIM Erro do sistema: MySQL Error Code: \\(1406\\)"
      "\r\nData too long for column 'sexo' at row 1\r\n" +
      carimbo +
      "ERRO AO INSERIR CLIENTE: 32 - PIOR Erro do sistema: MySQL Error Code: \\(1406\\)"
      "\r\nData too long for column 'sexo' at row 1\r\n");
  const std::string log = Ler(pasta / (DiaDeHoje() + ".txt"));
  EXPECT_TRUE(std::regex_match(log, entradas)) << log;
}

TEST_F(ProgramaTest, FailedRowsGoToStandardErrorWithJournaldPriorities) {
  Cliente(30, "cliente,sexo", "'BOA','F'");
  Cliente(31, "cliente,sexo", "'RUIM','FEMININO'");
  const std::vector<std::string> args = Argumentos({"--headless", "--once"});
  const fs::path saida = pasta_ / "saida.txt";
  const fs::path erros = pasta_ / "erros.txt";

  // A terminal or a plain file: the daily log's entry, as in the file, on
  // standard error; nothing of it on standard output.
  EXPECT_EQ(Esperar(Iniciar(args, saida, {{"JOURNAL_STREAM", ""}}, erros)), 0);
  const std::string arquivoLog = Ler(pasta_ / "logImportacao" / (DiaDeHoje() + ".txt"));
  ASSERT_NE(arquivoLog.find("ERRO AO INSERIR CLIENTE: 31 - RUIM Erro do sistema: MySQL Error "
                            "Code: ("),
            std::string::npos)
      << arquivoLog;
  std::string semCr = arquivoLog;
  std::erase(semCr, '\r');
  EXPECT_EQ(Ler(erros), semCr);
  EXPECT_EQ(Ler(saida).find("RUIM"), std::string::npos);

  // Under journald (JOURNAL_STREAM names the streams' file) every line has
  // its priority: failures 3, pane lines 6.
  fs::remove_all(pasta_ / "logImportacao");
  Retaguarda("update cadcliente set importado='N'");
  struct stat st {};
  std::ofstream(erros).close();
  ASSERT_EQ(stat(erros.c_str(), &st), 0);
  const std::string fluxo = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  EXPECT_EQ(Esperar(Iniciar(args, erros, {{"JOURNAL_STREAM", fluxo}}, erros)), 0);
  std::istringstream linhas(Ler(erros));
  int falhas = 0, paineis = 0;
  for (std::string linha; std::getline(linhas, linha);) {
    ASSERT_TRUE(linha.starts_with("<3>") || linha.starts_with("<6>")) << linha;
    if (linha.starts_with("<3>")) {
      ++falhas;
    } else {
      ++paineis;
    }
  }
  // The entry spans two lines (the server's text on the second).
  EXPECT_EQ(falhas, 2);
  EXPECT_GT(paineis, 10);
}

}  // namespace
}  // namespace agentetest
