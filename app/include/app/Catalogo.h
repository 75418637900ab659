// Every text the agent writes to its log panes, its tray balloon, its daily
// error log and its message boxes, as functions of the values they carry.
//
// All texts are Windows-1252 bytes, exactly as the operator sees them (the
// views convert at their edge). Time stamps are passed in already formatted
// (CarimboTempo of DataHora.h), so every function here is pure and may be
// called from any thread. Counts are written in plain decimal.
#pragma once

#include <string>

namespace app {

// Start of the agent (both panes).
std::string LinhaIniciando();
std::string LinhaErroConexaoRetaguarda();
std::string LinhaErroConexaoPDV();
std::string LinhaIniciadoComSucesso(const std::string& carimbo);

// Customer pass (Clientes pane).
std::string LinhaClientesIniciada(const std::string& carimbo);
std::string LinhaNenhumCliente();
std::string LinhaClientesFinalizada(const std::string& carimbo);
std::string LinhaClientesASeremImportados(long long quantidade);
std::string LinhaClienteInserido(const std::string& codcli, const std::string& cliente);
std::string LinhaClienteAtualizado(const std::string& codcli, const std::string& cliente);
std::string LinhaResumoClientes(long long importados, long long atualizados);

// Closing line shared by both passes: "** IMPORTAÇÃO CONCLUÍDA COM SUCESSO " + time.
std::string LinhaImportacaoConcluida(const std::string& carimbo);

// Product pass (Produtos pane).
std::string LinhaProdutosIniciando(const std::string& carimbo);
std::string LinhaNenhumProduto();
std::string LinhaProdutosFinalizando(const std::string& carimbo);
std::string LinhaProdutosASeremImportados(long long quantidade);
std::string LinhaProdutoInserido(const std::string& codprod, const std::string& descricao);
std::string LinhaProdutoAtualizado(const std::string& codprod, const std::string& descricao);
std::string LinhaResumoProdutos(long long importados, long long atualizados, long long erros);

// A daily error log that could not be written, reported once per pass on
// that pass's pane: the file and the reason.
std::string LinhaFalhaLogErro(const std::string& arquivo, const std::string& motivo);

// A pass that lost a server stops at the failed row: the reason with the
// rows left for the next pass ("conexão perdida com o servidor; " + N +
// " registros aguardam a próxima importação"), the pass's pane line
// ("** IMPORTAÇÃO INTERROMPIDA: " + reason) and the contexts of its daily
// log entry.
std::string TextoServidorPerdido(long long aguardando);
std::string LinhaImportacaoInterrompida(long long aguardando);
std::string ContextoClientesInterrompida();
std::string ContextoProdutosInterrompida();

// Tray balloon.
std::string TituloBalaoClientes();
std::string TextoBalaoClientesInicio();
std::string TituloBalaoProdutos();
std::string TextoBalaoProdutosInicio();
std::string TextoBalaoProgresso(int percentual);
std::string TextoBalaoClientesFinal(long long importados, long long atualizados);
std::string TextoBalaoProdutosFinal(long long importados, long long atualizados);

// Contexts of the daily error log entries.
std::string ContextoInserirCliente(const std::string& codcli, const std::string& cliente);
std::string ContextoAtualizarCliente(const std::string& codcli, const std::string& cliente);
std::string ContextoInserirProduto(const std::string& codprod, const std::string& descricao);
std::string ContextoAtualizarProduto(const std::string& codprod, const std::string& descricao);

// The reason logged for a row with a back-office value that holds a zero
// byte: the value cannot be carried whole, so the row is not imported.
std::string MotivoValorComByteNulo(const std::string& campo);
// The same for a value with a CR or LF on its own, for a PDV whose session
// has no backslash escapes: the byte could not be written as it is.
std::string MotivoQuebraDeLinhaAvulsa();

// One entry of the daily error log, without its closing CR LF.
std::string EntradaLogErro(const std::string& carimbo, const std::string& contexto,
                           const std::string& mensagem);

// Message boxes.
std::string TituloPergunta();              // "Pergunta"
std::string TextoConfirmarEncerramento();  // exit question
std::string TituloAtencao();               // "Atenção"
std::string TextoPerguntaBaixarSuporte();
// Lines separated by a carriage return alone; `pasta` is the folder the
// remote-support program was stored in.
std::string TextoSuporteBaixado(const std::string& pasta);
std::string TextoSemInternet();
// Refusals of the F12 key, in information boxes titled "Atenção".
std::string TextoSuporteSemPastaPessoal();
std::string TextoSuporteSemSha256();
std::string TextoSuportePastaRecusada(const std::string& pasta);
// The stored tool is not the expected file; `pasta` as in TextoSuporteBaixado.
std::string TextoSuporteNaoConfere(const std::string& pasta);
// A download that failed a check; `motivo` is one of the Motivo texts.
std::string TextoSuporteRecusado(const std::string& motivo);
std::string MotivoSuporteSha256();
std::string MotivoSuporteCertificado();
std::string MotivoSuporteSemHttps();
std::string MotivoSuporteRedirecionado(const std::string& endereco);
std::string MotivoSuporteTamanho(long long limite);

}  // namespace app
