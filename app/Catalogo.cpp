#include "app/Catalogo.h"

namespace app {
namespace {

std::string Numero(long long n) {
  return std::to_string(n);
}

}  // namespace

std::string LinhaIniciando() {
  return "INICIANDO Tolvex Integra\xE7\xE3o";
}

std::string LinhaErroConexaoRetaguarda() {
  return "Erro ao conectar ao banco de dados retaguarda";
}

std::string LinhaErroConexaoPDV() {
  return "Erro ao conectar ao banco de dados do PDV";
}

std::string LinhaIniciadoComSucesso(const std::string& carimbo) {
  return "** INICIADO COM SUCESSO " + carimbo;
}

std::string LinhaClientesIniciada(const std::string& carimbo) {
  return "Importa\xE7\xE3o de Clientes INICIADA em " + carimbo;
}

std::string LinhaNenhumCliente() {
  return ">> Nenhum cliente a ser importado!";
}

std::string LinhaClientesFinalizada(const std::string& carimbo) {
  return "Importa\xE7\xE3o de Clientes FINALIZADA em " + carimbo;
}

std::string LinhaClientesASeremImportados(long long quantidade) {
  return ">> " + Numero(quantidade) + " clientes a serem importados";
}

std::string LinhaClienteInserido(const std::string& codcli, const std::string& cliente) {
  return ">> CLIENTE " + codcli + " - " + cliente + " *INSERIDO COM SUCESSO";
}

std::string LinhaClienteAtualizado(const std::string& codcli, const std::string& cliente) {
  return ">> CLIENTE " + codcli + " - " + cliente + " **ATUALIZADO COM SUCESSO";
}

std::string LinhaResumoClientes(long long importados, long long atualizados) {
  return "*** Importados: " + Numero(importados) + " - Atualizados: " + Numero(atualizados);
}

std::string LinhaImportacaoConcluida(const std::string& carimbo) {
  return "** IMPORTA\xC7\xC3O CONCLU\xCD"
         "DA COM SUCESSO " +
         carimbo;
}

std::string LinhaProdutosIniciando(const std::string& carimbo) {
  return "Iniciando importa\xE7\xE3o de PRODUTOS em " + carimbo;
}

std::string LinhaNenhumProduto() {
  return "** Nenhum produto para ser importado!";
}

std::string LinhaProdutosFinalizando(const std::string& carimbo) {
  return "FINALIZANDO importa\xE7\xE3o de PRODUTOS em " + carimbo;
}

std::string LinhaProdutosASeremImportados(long long quantidade) {
  return Numero(quantidade) + " a serem importados!";
}

std::string LinhaProdutoInserido(const std::string& codprod, const std::string& descricao) {
  return "Produto INSERIDO: " + codprod + " - " + descricao;
}

std::string LinhaProdutoAtualizado(const std::string& codprod, const std::string& descricao) {
  // "ATUALIAZADO" is how the operators have always seen this line.
  return "Produto ATUALIAZADO: " + codprod + " - " + descricao;
}

std::string LinhaResumoProdutos(long long importados, long long atualizados, long long erros) {
  return "*** Importados: " + Numero(importados) + " - Atualizados: " + Numero(atualizados) +
         " - Exclu\xED"
         "do:" +
         "0" + " - Erros: " + Numero(erros);
}

std::string LinhaFalhaLogErro(const std::string& arquivo, const std::string& motivo) {
  return "** ERRO AO GRAVAR O LOG DE ERROS " + arquivo + ": " + motivo;
}

std::string TextoServidorPerdido(long long aguardando) {
  return "conex\xE3o perdida com o servidor; " + Numero(aguardando) +
         " registros aguardam a pr\xF3xima importa\xE7\xE3o";
}

std::string LinhaImportacaoInterrompida(long long aguardando) {
  return "** IMPORTA\xC7\xC3O INTERROMPIDA: " + TextoServidorPerdido(aguardando);
}

std::string ContextoClientesInterrompida() {
  return "IMPORTA\xC7\xC3O DE CLIENTES INTERROMPIDA:";
}

std::string ContextoProdutosInterrompida() {
  return "IMPORTA\xC7\xC3O DE PRODUTOS INTERROMPIDA:";
}

std::string TituloBalaoClientes() {
  return "Importa\xE7\xE3o de Clientes";
}

std::string TextoBalaoClientesInicio() {
  return "Iniciando...";
}

std::string TituloBalaoProdutos() {
  return "Importa\xE7\xE3o de Produtos";
}

std::string TextoBalaoProdutosInicio() {
  return "Iniciando";
}

std::string TextoBalaoProgresso(int percentual) {
  return std::to_string(percentual) +
         "% Conclu\xED"
         "do";
}

std::string TextoBalaoClientesFinal(long long importados, long long atualizados) {
  return "Importa\xE7\xE3o conclu\xED"
         "da: Importados: " +
         Numero(importados) + " - Atualizados: " + Numero(atualizados);
}

std::string TextoBalaoProdutosFinal(long long importados, long long atualizados) {
  return "Importa\xE7\xE3o Conclu\xED"
         "da:  Importados: " +
         Numero(importados) + " - Atualizados: " + Numero(atualizados) +
         " - Exclu\xED"
         "do:" +
         "0";
}

std::string ContextoInserirCliente(const std::string& codcli, const std::string& cliente) {
  return "ERRO AO INSERIR CLIENTE: " + codcli + " - " + cliente;
}

std::string ContextoAtualizarCliente(const std::string& codcli, const std::string& cliente) {
  return "ERRO AO ATUALIZAR CLIENTE: " + codcli + " - " + cliente;
}

std::string ContextoInserirProduto(const std::string& codprod, const std::string& descricao) {
  return ">ERRO AO INSERIR O PRODUTO: " + codprod + " - " + descricao;
}

std::string ContextoAtualizarProduto(const std::string& codprod, const std::string& descricao) {
  return "ERRO AO ATUALIZAR O PRODUTO: " + codprod + " - " + descricao;
}

std::string MotivoValorComByteNulo(const std::string& campo) {
  return "VALOR COM BYTE NULO NO CAMPO " + campo + ": o registro n\xE3o foi importado";
}

std::string MotivoQuebraDeLinhaAvulsa() {
  return "VALOR COM QUEBRA DE LINHA AVULSA PARA UM PDV SEM BARRA INVERTIDA: o registro n\xE3o foi "
         "importado";
}

std::string EntradaLogErro(const std::string& carimbo, const std::string& contexto,
                           const std::string& mensagem) {
  return "**" + carimbo + " - " + contexto + " Erro do sistema: " + mensagem;
}

std::string TituloPergunta() {
  return "Pergunta";
}

std::string TextoConfirmarEncerramento() {
  return "Tem certeza que deseja encerrar a aplica\xE7\xE3o?";
}

std::string TituloAtencao() {
  return "Aten\xE7\xE3o";
}

std::string TextoPerguntaBaixarSuporte() {
  return "Deseja baixar o programa Ammy Admin?";
}

std::string TextoSuporteBaixado(const std::string& pasta) {
  return "Vers\xE3o baixada com sucesso.\r\rNa pasta:\r" + pasta;
}

std::string TextoSemInternet() {
  return "N\xE3o h\xE1 conectividade com a internet";
}

std::string TextoSuporteSemPastaPessoal() {
  return "O usu\xE1rio n\xE3o tem pasta pessoal (HOME) para guardar o programa Ammy Admin."
         "\r\rNada foi baixado.";
}

std::string TextoSuporteSemSha256() {
  return "Esta vers\xE3o n\xE3o traz o SHA-256 do programa Ammy Admin para conferi-lo."
         "\r\rO programa n\xE3o ser\xE1 baixado nem iniciado.";
}

std::string TextoSuportePastaRecusada(const std::string& pasta) {
  return "A pasta:\r" + pasta +
         "\rn\xE3o p\xF4"
         "de ser criada ou n\xE3o pertence ao usu\xE1rio.\r\rNada foi baixado.";
}

std::string TextoSuporteNaoConfere(const std::string& pasta) {
  return "O programa Ammy Admin da pasta:\r" + pasta +
         "\rn\xE3o confere com a vers\xE3o esperada e n\xE3o foi iniciado.";
}

std::string TextoSuporteRecusado(const std::string& motivo) {
  return "Download do programa Ammy Admin recusado:\r\r" + motivo;
}

std::string MotivoSuporteSha256() {
  return "O arquivo recebido n\xE3o confere com a vers\xE3o esperada (SHA-256).";
}

std::string MotivoSuporteCertificado() {
  return "O certificado do servidor n\xE3o foi aceito.";
}

std::string MotivoSuporteSemHttps() {
  return "O servidor n\xE3o atendeu por HTTPS.";
}

std::string MotivoSuporteRedirecionado(const std::string& endereco) {
  return "O servidor redirecionou para outro endere\xE7o:\r" + endereco;
}

std::string MotivoSuporteTamanho(long long limite) {
  return "O arquivo passa do limite de " + std::to_string(limite) + " bytes.";
}

}  // namespace app
