// seed_demo: fills the sandbox with the demo back office (tolve536_vidoru)
// and PDV (t2tipafecf) the agent imports between, or reports what arrived.
//
//   seed_demo --host H --port P           recreate the tables and rows
//   seed_demo --host H --port P --resumo  print what the PDV holds now
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "app/ConsoleView.h"
#include "app/DemoDados.h"

namespace {

std::string Env(const char* nome, const char* padrao) {
  const char* v = std::getenv(nome);
  return v && *v ? v : padrao;
}

void Resumo(components::TmySQLDatabase& retaguarda, components::TmySQLDatabase& pdv) {
  using app::Contar;
  std::cout << "PDV t2tipafecf:\n"
            << "  cliente: " << Contar(pdv, "select count(*) from cliente") << " rows ("
            << Contar(pdv, "select count(*) from cliente where nome<>'ANTIGO'")
            << " with back-office data, "
            << Contar(pdv, "select count(*) from cliente where tipo_pessoa='J'") << " companies)\n"
            << "  produto: " << Contar(pdv, "select count(*) from produto") << " rows ("
            << Contar(pdv, "select count(*) from produto where NOME<>'ANTIGO'")
            << " with back-office data, "
            << Contar(pdv, "select count(*) from produto where VALOR_VENDA is null")
            << " without a price)\n"
            << "Back office tolve536_vidoru still pending:\n"
            << "  customers: "
            << Contar(retaguarda,
                      "select count(*) from cadcliente where bloqueado='N' and importado='N'")
            << "\n"
            << "  products:  "
            << Contar(retaguarda, "select count(*) from cadprod where importadopdv='N'") << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string host = Env("MYSQL_TEST_HOST", "127.0.0.1");
  std::string porta = Env("MYSQL_TEST_PORT", "3306");
  bool resumo = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--host" && i + 1 < argc) {
      host = argv[++i];
    } else if (a == "--port" && i + 1 < argc) {
      porta = argv[++i];
    } else if (a == "--resumo") {
      resumo = true;
    } else {
      std::cerr << "usage: seed_demo [--host H] [--port P] [--resumo]\n";
      return 2;
    }
  }
  try {
    const auto p = static_cast<std::uint32_t>(std::stoul(porta));
    auto retaguarda = app::ConexaoAdministrativa(host, p, "tolve536_vidoru");
    auto pdv = app::ConexaoAdministrativa(host, p, "t2tipafecf");
    if (resumo) {
      Resumo(*retaguarda, *pdv);
    } else {
      const app::ResumoDemo r = app::SemearDemo(*retaguarda, *pdv);
      std::cout << "demo back office ready: " << r.clientesPendentes << " customers and "
                << r.produtosPendentes << " products pending\n";
    }
  } catch (const std::exception& e) {
    std::cerr << "seed_demo: " << app::Cp1252ParaUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}
