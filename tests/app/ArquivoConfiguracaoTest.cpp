// The configuration file: what it accepts, every refusal with its file,
// line and key, the permission checks, the order of the files, and the
// settings reaching the agent's two connections.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "agente_suporte.h"
#include "app/Agente.h"
#include "app/ArquivoConfiguracao.h"
#include "app/ConsoleView.h"
#include "support/TextCase.h"

namespace {

namespace fs = std::filesystem;
using app::ConfiguracaoAgente;

ConfiguracaoAgente Ler(const std::string& texto) {
  ConfiguracaoAgente c;
  app::LerTextoConfiguracao(texto, "agente.conf", c);
  return c;
}

std::string Recusa(const std::string& texto) {
  ConfiguracaoAgente c;
  c.pdv.host = "antes";
  try {
    app::LerTextoConfiguracao(texto, "agente.conf", c);
  } catch (const app::ErroConfiguracao& e) {
    // A refused file leaves nothing behind, not even the lines before the fault.
    EXPECT_EQ(c.pdv.host, "antes") << texto;
    EXPECT_FALSE(c.retaguarda.host) << texto;
    return e.what();
  }
  ADD_FAILURE() << "accepted: " << texto;
  return "";
}

TEST(ArquivoConfiguracao, ReadsEveryConnectionKeyAsWindows1252) {
  const ConfiguracaoAgente c =
      Ler("\xEF\xBB\xBF# agente da loja 42\r\n"
          "[retaguarda]\r\n"
          "  host = mysql.exemplo.com.br  \r\n"
          "porta=3307\r\n"
          "usuario=loja42\r\n"
          "; a senha leva um acento\r\n"
          "senha=a\xC3\xA7\xC3\xA3o#1;2=3\r\n"
          "\n"
          "[ pdv ]\n"
          "host=127.0.0.1\n"
          "senha=\" com espa\xC3\xA7os \"\n"
          "usuario=\"\"quoted\"\"\n");
  EXPECT_EQ(c.retaguarda.host, "mysql.exemplo.com.br");
  EXPECT_EQ(c.retaguarda.porta, 3307u);
  EXPECT_EQ(c.retaguarda.usuario, "loja42");
  EXPECT_EQ(c.retaguarda.senha, "a\xE7\xE3o#1;2=3");
  EXPECT_EQ(c.pdv.host, "127.0.0.1");
  EXPECT_FALSE(c.pdv.porta);
  EXPECT_EQ(c.pdv.senha, " com espa\xE7os ");
  EXPECT_EQ(c.pdv.usuario, "\"quoted\"");

  // An empty password is a password (the account may have none).
  EXPECT_EQ(Ler("[pdv]\nsenha=\n").pdv.senha, "");
  EXPECT_EQ(Ler("[pdv]\nsenha=\xE2\x82\xAC\n").pdv.senha, "\x80");
}

TEST(ArquivoConfiguracao, RefusesWithTheLineAndTheKey) {
  const support::TextCase casos[] = {
      {"[retaguarda]\nhost=a\n[nada]\n", "agente.conf, linha 3: se\xE7\xE3o [nada] desconhecida"},
      {"[Retaguarda]\n", "linha 1: se\xE7\xE3o [Retaguarda] desconhecida"},
      {"[pdv\n", "linha 1: falta o ']'"},
      {"host=x\n", "linha 1: chave host fora de uma se\xE7\xE3o"},
      {"[pdv]\nhost\n", "linha 2: a linha n\xE3o \xE9 uma se\xE7\xE3o nem chave=valor"},
      {"[pdv]\nservidor=x\n", "linha 2, chave servidor em [pdv]: chave desconhecida"},
      {"[pdv]\nhost=a\n\n[pdv]\nhost=b\n",
       "linha 5, chave host em [pdv]: chave repetida (j\xE1 dada na linha 2)"},
      {"[pdv]\nporta=0\n", "linha 2, chave porta em [pdv]: porta \"0\" inv\xE1lida"},
      {"[pdv]\nporta=65536\n", "porta \"65536\" inv\xE1lida; use um n\xFAmero de 1 a 65535"},
      {"[pdv]\nporta=33o6\n", "porta \"33o6\" inv\xE1lida"},
      {"[pdv]\nporta=-1\n", "porta \"-1\" inv\xE1lida"},
      {"[pdv]\nporta=\n", "porta \"\" inv\xE1lida"},
      {"[retaguarda]\nhost=\n", "chave host em [retaguarda]: falta o nome"},
      {"[retaguarda]\nhost=a b\n", "nome de servidor com espa\xE7os"},
      {"[retaguarda]\nhost=s\xC3\xA3o.br\n", "caracteres fora do ASCII"},
      {"[retaguarda]\nusuario=\n", "falta o nome do usu\xE1rio"},
      {"[pdv]\n\nsenha=\xC3\x28\n", "linha 3: o texto n\xE3o est\xE1 em UTF-8"},
      {"[pdv]\nsenha=\xC0\xAF\n", "linha 2: o texto n\xE3o est\xE1 em UTF-8"},
      {"[pdv]\nsenha=\xED\xA0\x80\n", "linha 2: o texto n\xE3o est\xE1 em UTF-8"},
      {"[pdv]\nsenha=\xE4\xB8\xAD\n", "chave senha em [pdv]: o valor tem caracteres fora"},
      {"[pdv]\nsenha=a\x01"
       "b\n",
       "chave senha em [pdv]: o valor tem caracteres de controle"},
  };
  for (const auto& c : casos) {
    const std::string texto = c.input;
    EXPECT_NE(Recusa(texto).find(c.expected), std::string::npos)
        << texto << "\n -> " << Recusa(texto);
  }
  // A NUL byte is no text either.
  EXPECT_NE(Recusa(std::string("[pdv]\nsenha=a\0b\n", 15)).find("linha 2: o texto n\xE3o"),
            std::string::npos);
}

class ArquivosConfiguracao : public ::testing::Test {
 protected:
  void SetUp() override {
    pasta_ = fs::temp_directory_path() /
             ("tolvex-conf-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(pasta_);
    fs::create_directories(pasta_);
  }
  void TearDown() override { fs::remove_all(pasta_); }

  std::string Arquivo(const std::string& nome, const std::string& texto, mode_t modo = 0600) {
    const fs::path p = pasta_ / nome;
    std::ofstream(p, std::ios::binary) << texto;
    chmod(p.c_str(), modo);
    return p.string();
  }
  std::string Erro(const std::optional<std::string>& arquivo,
                   const app::CaminhosConfiguracao& caminhos = {}) {
    try {
      app::CarregarConfiguracao(arquivo, caminhos);
    } catch (const app::ErroConfiguracao& e) {
      return e.what();
    }
    return "";
  }

  fs::path pasta_;
};

TEST_F(ArquivosConfiguracao, EachFileOverTheOneBeforeAndConfigReplacesBoth) {
  const std::string sistema =
      Arquivo("sistema.conf", "[retaguarda]\nhost=sistema\nporta=3310\n[pdv]\nhost=pdv-sistema\n");
  const std::string usuario = Arquivo("usuario.conf", "[retaguarda]\nhost=usuario\n");
  const std::string dado = Arquivo("dado.conf", "[pdv]\nusuario=caixa\n");

  ConfiguracaoAgente c = app::CarregarConfiguracao(std::nullopt, {sistema, usuario});
  EXPECT_EQ(c.retaguarda.host, "usuario");
  EXPECT_EQ(c.retaguarda.porta, 3310u);
  EXPECT_EQ(c.pdv.host, "pdv-sistema");

  // Absent default files are skipped.
  c = app::CarregarConfiguracao(std::nullopt, {(pasta_ / "nao-ha").string(), usuario});
  EXPECT_EQ(c.retaguarda.host, "usuario");
  EXPECT_FALSE(c.retaguarda.porta);

  c = app::CarregarConfiguracao(dado, {sistema, usuario});
  EXPECT_FALSE(c.retaguarda.host);
  EXPECT_EQ(c.pdv.usuario, "caixa");

  // --config names a file that must be there.
  EXPECT_NE(Erro((pasta_ / "nao-ha").string()).find("nao-ha: n\xE3o foi poss\xEDvel abrir"),
            std::string::npos);
  EXPECT_NE(Erro(pasta_.string()).find(": n\xE3o \xE9 um arquivo comum"), std::string::npos);
  // A refusal in the user's file stops the chain too, naming that file.
  const std::string ruim = Arquivo("ruim.conf", "[pdv]\nporta=x\n");
  EXPECT_NE(Erro(std::nullopt, {sistema, ruim}).find("ruim.conf, linha 2, chave porta"),
            std::string::npos);
}

TEST_F(ArquivosConfiguracao, APasswordOthersCanReadIsRefused) {
  const std::string texto = "[retaguarda]\nhost=h\n\n[pdv]\nsenha=segredo\n";
  for (mode_t modo : {0644, 0640, 0604, 0660, 0610}) {
    const std::string f = Arquivo("senha.conf", texto, modo);
    const std::string erro = Erro(f);
    EXPECT_NE(erro.find("senha.conf, linha 5, chave senha: o arquivo guarda uma senha"),
              std::string::npos)
        << std::oct << modo << " " << erro;
    EXPECT_EQ(erro.find("segredo"), std::string::npos) << erro;
  }
  EXPECT_EQ(Erro(Arquivo("senha.conf", texto, 0600)), "");
  EXPECT_EQ(Erro(Arquivo("senha.conf", texto, 0400)), "");
  // Without a password the file may be read by all, but never changed by all.
  EXPECT_EQ(Erro(Arquivo("sem.conf", "[retaguarda]\nhost=h\n", 0644)), "");
  EXPECT_NE(Erro(Arquivo("sem.conf", "[retaguarda]\nhost=h\n", 0666))
                .find("pode ser alterado por qualquer usu\xE1rio (permiss\xF5"
                      "es 0666)"),
            std::string::npos);
}

TEST(ArquivoConfiguracaoAjuda, HelpListsEveryKey) {
  const std::string ajuda = app::TextoUso("tolvex-agent");
  for (const char* chave :
       {"--config", "[retaguarda] e [pdv]", "host", "porta", "usuario", "senha"})
    EXPECT_NE(ajuda.find(chave), std::string::npos) << chave;
}

// The agent's options with the settings of a configuration file's text.
app::OpcoesAgente OpcoesDoArquivo(const std::string& texto) {
  app::OpcoesAgente opcoes;
  opcoes.configuracao = Ler(texto);
  return opcoes;
}

TEST(ArquivoConfiguracaoAgente, FileSettingsReachBothConnectionsUnderTheCommandLine) {
  agentetest::VisaoGravada view;
  app::OpcoesAgente opcoes = OpcoesDoArquivo(
      "[retaguarda]\nhost=rt.exemplo\nporta=3399\nusuario=loja42\nsenha=s1\n"
      "[pdv]\nsenha=s2\n");
  {
    app::Agente agente(view, opcoes);
    const auto& rt = agente.Componentes().dbVidoru;
    EXPECT_EQ(rt.Host(), "rt.exemplo");
    EXPECT_EQ(rt.Port(), 3399u);
    EXPECT_EQ(rt.UserName(), "loja42");
    EXPECT_EQ(rt.UserPassword(), "s1");
    auto& params = agente.Componentes().dbVidoru.Params();
    EXPECT_EQ(params.Values("Host"), "rt.exemplo");
    EXPECT_EQ(params.Values("Port"), "3399");
    EXPECT_EQ(params.Values("UID"), "loja42");
    EXPECT_EQ(params.Values("PWD"), "s1");
    // What the file leaves out keeps the built-in setting.
    const auto& pdv = agente.Componentes().dbPDV;
    EXPECT_EQ(pdv.Host(), "localhost");
    EXPECT_EQ(pdv.UserName(), "root");
    EXPECT_EQ(pdv.UserPassword(), "s2");
  }
  opcoes.retaguarda = app::LerEndereco("linha.exemplo:3400");
  app::Agente agente(view, opcoes);
  EXPECT_EQ(agente.Componentes().dbVidoru.Host(), "linha.exemplo");
  EXPECT_EQ(agente.Componentes().dbVidoru.Port(), 3400u);
  EXPECT_EQ(agente.Componentes().dbVidoru.UserName(), "loja42");
}

// The keys of caching_sha2_password without TLS: the server's public key
// file and the permission to ask the server for it reach the connection's
// parameters; asking stays off unless the file says "sim".
TEST(ConfiguracaoChavePublica, KeysReachTheConnectionParameters) {
  agentetest::VisaoGravada view;
  app::Agente agente(view,
                     OpcoesDoArquivo("[retaguarda]\nchave_publica=/etc/tolvex/retaguarda.pem\n"
                                     "[pdv]\nobter_chave_publica=sim\n"));
  auto& rt = agente.Componentes().dbVidoru.Params();
  auto& pdv = agente.Componentes().dbPDV.Params();
  EXPECT_EQ(rt.Values("ServerPublicKey"), "/etc/tolvex/retaguarda.pem");
  EXPECT_EQ(rt.Values("GetServerPublicKey"), "");
  EXPECT_EQ(pdv.Values("ServerPublicKey"), "");
  EXPECT_EQ(pdv.Values("GetServerPublicKey"), "1");

  EXPECT_EQ(Ler("[pdv]\nobter_chave_publica=n\xC3\xA3o\n").pdv.obterChavePublica, false);
  EXPECT_EQ(Ler("[pdv]\nobter_chave_publica=nao\n").pdv.obterChavePublica, false);
  EXPECT_FALSE(Ler("[pdv]\nhost=x\n").pdv.obterChavePublica);
}

TEST(ConfiguracaoChavePublica, BadValuesAreRefused) {
  for (const char* texto : {"[pdv]\nobter_chave_publica=talvez\n", "[pdv]\nobter_chave_publica=\n",
                            "[retaguarda]\nchave_publica=\n"}) {
    app::ConfiguracaoAgente c;
    EXPECT_THROW(app::LerTextoConfiguracao(texto, "agente.conf", c), app::ErroConfiguracao)
        << texto;
  }
}

// The console writes the agent's Windows-1252 as UTF-8 and the file is read
// from UTF-8 into Windows-1252: every character of the code page makes the
// trip unchanged, and the five bytes it leaves undefined go out as U+FFFD,
// which the file refuses.
TEST(ArquivoConfiguracao, EveryCharacterOfTheCodePageComesBackFromTheConsolesUtf8) {
  for (int b = 0x20; b < 0x100; ++b) {
    if (b == 0x7F) continue;
    const std::string byte(1, static_cast<char>(b));
    const std::string linha = "[pdv]\nsenha=x" + app::Cp1252ParaUtf8(byte) + "x\n";
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      EXPECT_EQ(app::Cp1252ParaUtf8(byte), "\xEF\xBF\xBD") << b;
      EXPECT_NE(Recusa(linha).find("fora do Windows-1252"), std::string::npos) << b;
    } else {
      EXPECT_EQ(Ler(linha).pdv.senha, "x" + byte + "x") << b;
    }
  }
}

}  // namespace
