// The language table of the error dialog and the log: entries 32796..32814 in nine languages.
// Texts are UTF-8 here; the log converts them to Windows-1252, so every character must exist there.
// The multi-line entries right-align their labels to 16 characters so the colons line up.
#include <array>
#include <string_view>
#include <utility>

#include "rt/errortext.h"

namespace rt {
namespace {

constexpr int kFirst = 32796, kLast = 32814;
using Column = std::array<std::string_view, kLast - kFirst + 1>;

constexpr Column kCatalan = {
    "Error",
    "%1 al mòdul ERRORSYS, línia: %2",
    "Arguments: (%1)",
    "(DOS Error %1)",
    "&Sortir",
    "&Reintentar",
    "&Ignorar",
    "&Detalls",
    "Error",
    "Avís",
    "[%1] = Tipus: %2 Valor: %3",
    " Registre d'errors ",
    "            Data: %1\r\n"
    "            Hora: %2\r\n"
    "  Memòria lliure: %3\r\n"
    "     Àrea actual: %4\r\n",
    " Informació del compilador ",
    "   Versió de GUI: %1\r\n"
    "      Compilador: %2\r\n"
    "Compilador C/C++: %3\r\n"
    "      Plataforma: %4\r\n",
    " Informació detallada de l'error ",
    "      Subsistema: %1\r\n"
    "    Codi d'error: %2\r\n"
    "           Estat: %3\r\n"
    "      Descripció: %4\r\n"
    "        Operació: %5\r\n"
    "       Arguments: %6\r\n"
    "          Fitxer: %7\r\n"
    " Codi d'error SO: %8\r\n"
    "\r\n"
    "Pila de crides:\r\n",
    " Informació detallada d'àrees de treball ",
    "            Àrea: %1\r\n"
    "           Àlies: %2\r\n"
    "        Registre: %3\r\n"
    "          Filtre: %4\r\n"
    "         Relació: %5\r\n"
    "Ordre de l'índex: %6\r\n"
    "     Clau activa: %7\r\n",
};

constexpr Column kGerman = {
    "Fehler",
    "%1 im Modul ERRORSYS, Zeile: %2",
    "Argumente: (%1)",
    "(DOS Error %1)",
    "&Beenden",
    "&Wiederholen",
    "&Ignorieren",
    "&Details",
    "Fehler",
    "Warnung",
    "[%1] = Typ: %2 Wert: %3",
    " Fehlerprotokoll ",
    "           Datum: %1\r\n"
    "         Uhrzeit: %2\r\n"
    " Freier Speicher: %3\r\n"
    " Aktiver Bereich: %4\r\n",
    " Compiler-Informationen ",
    "     GUI-Version: %1\r\n"
    "        Compiler: %2\r\n"
    "  C/C++-Compiler: %3\r\n"
    "       Plattform: %4\r\n",
    " Interne Fehlerinformationen ",
    "       Subsystem: %1\r\n"
    "      Fehlercode: %2\r\n"
    "  Standardstatus: %3\r\n"
    "    Beschreibung: %4\r\n"
    "       Operation: %5\r\n"
    "       Argumente: %6\r\n"
    "           Datei: %7\r\n"
    "  DOS-Fehlercode: %8\r\n"
    "\r\n"
    "Aufrufstapel:\r\n",
    " Details der Arbeitsbereiche ",
    "  Arbeitsbereich: %1\r\n"
    "           Alias: %2\r\n"
    "       Datensatz: %3\r\n"
    "          Filter: %4\r\n"
    "        Relation: %5\r\n"
    "Indexreihenfolge: %6\r\n"
    "  Indexschlüssel: %7\r\n",
};

constexpr Column kEnglish = {
    "Error",
    "%1 inside ERRORSYS, line: %2",
    "Arguments: (%1)",
    "(DOS Error %1)",
    "&Quit",
    "&Retry",
    "&Ignore",
    "&Details",
    "Error",
    "Warning",
    "[%1] = Type: %2 Val: %3",
    " Error log file ",
    "            Date: %1\r\n"
    "            Time: %2\r\n"
    "Available Memory: %3\r\n"
    "    Current Area: %4\r\n",
    " Compiler Information ",
    "     GUI Version: %1\r\n"
    "        Compiler: %2\r\n"
    "  C/C++ Compiler: %3\r\n"
    "Windows Platform: %4\r\n",
    " Internal Error Handling Information ",
    "  Subsystem Call: %1\r\n"
    "     System Code: %2\r\n"
    "  Default Status: %3\r\n"
    "     Description: %4\r\n"
    "       Operation: %5\r\n"
    "       Arguments: %6\r\n"
    "   Involved File: %7\r\n"
    "  Dos Error Code: %8\r\n"
    "\r\n"
    "Trace Through:\r\n",
    " Detailed Work Area Items ",
    "   Work Area No.: %1\r\n"
    "   Alias Alias  : %2\r\n"
    "  Current Recno : %3\r\n"
    "  Current Filter: %4\r\n"
    "   Relation Exp.: %5\r\n"
    "     Index Order: %6\r\n"
    "      Active Key: %7\r\n",
};

constexpr Column kSpanish = {
    "Error",
    "%1 en módulo ERRORSYS, línea: %2",
    "Argumentos: (%1)",
    "(DOS Error %1)",
    "&Salir",
    "&Reintentar",
    "&Ignorar",
    "&Detalles",
    "Error",
    "Warning",
    "[%1] = Tipo: %2 Valor: %3",
    " Registro de errores ",
    "           Fecha: %1\r\n"
    "            Hora: %2\r\n"
    "   Memoria libre: %3\r\n"
    "     Area actual: %4\r\n",
    " Información del compilador ",
    "  Versión de GUI: %1\r\n"
    "      Compilador: %2\r\n"
    "Compilador C/C++: %3\r\n"
    "      Plataforma: %4\r\n",
    " Información detallada del error ",
    "      Subsistema: %1\r\n"
    " Código de error: %2\r\n"
    "          Estado: %3\r\n"
    "     Descripción: %4\r\n"
    "       Operación: %5\r\n"
    "      Argumentos: %6\r\n"
    "         Fichero: %7\r\n"
    " Código error SO: %8\r\n"
    "\r\n"
    "Pila de llamadas:\r\n",
    " Información detallada de áreas de trabajo ",
    "            Area: %1\r\n"
    "           Alias: %2\r\n"
    "        Registro: %3\r\n"
    "          Filtro: %4\r\n"
    "        Relación: %5\r\n"
    "Orden del índice: %6\r\n"
    "    Clave activa: %7\r\n",
};

constexpr Column kFrench = {
    "Erreur",
    "%1 dans le module ERRORSYS, ligne: %2",
    "Arguments: (%1)",
    "(DOS Error %1)",
    "&Quitter",
    "&Réessayer",
    "&Ignorer",
    "&Détails",
    "Erreur",
    "Avertissement",
    "[%1] = Type: %2 Valeur: %3",
    " Journal des erreurs ",
    "            Date: %1\r\n"
    "           Heure: %2\r\n"
    "   Mémoire libre: %3\r\n"
    "   Zone courante: %4\r\n",
    " Informations du compilateur ",
    "     Version GUI: %1\r\n"
    "     Compilateur: %2\r\n"
    "   Compil. C/C++: %3\r\n"
    "     Plate-forme: %4\r\n",
    " Informations détaillées de l'erreur ",
    "    Sous-système: %1\r\n"
    "   Code d'erreur: %2\r\n"
    " État par défaut: %3\r\n"
    "     Description: %4\r\n"
    "       Opération: %5\r\n"
    "       Arguments: %6\r\n"
    "         Fichier: %7\r\n"
    " Code erreur DOS: %8\r\n"
    "\r\n"
    "Pile d'appels:\r\n",
    " Zones de travail détaillées ",
    " Zone de travail: %1\r\n"
    "           Alias: %2\r\n"
    "  Enregistrement: %3\r\n"
    "          Filtre: %4\r\n"
    "        Relation: %5\r\n"
    "   Ordre d'index: %6\r\n"
    "      Clé active: %7\r\n",
};

constexpr Column kItalian = {
    "Errore",
    "%1 nel modulo ERRORSYS, riga: %2",
    "Argomenti: (%1)",
    "(DOS Error %1)",
    "&Esci",
    "&Riprova",
    "&Ignora",
    "&Dettagli",
    "Errore",
    "Avviso",
    "[%1] = Tipo: %2 Valore: %3",
    " Registro degli errori ",
    "            Data: %1\r\n"
    "             Ora: %2\r\n"
    "  Memoria libera: %3\r\n"
    "   Area corrente: %4\r\n",
    " Informazioni sul compilatore ",
    "    Versione GUI: %1\r\n"
    "     Compilatore: %2\r\n"
    "   Compil. C/C++: %3\r\n"
    "     Piattaforma: %4\r\n",
    " Informazioni dettagliate sull'errore ",
    "    Sottosistema: %1\r\n"
    "   Codice errore: %2\r\n"
    "   Stato default: %3\r\n"
    "     Descrizione: %4\r\n"
    "      Operazione: %5\r\n"
    "       Argomenti: %6\r\n"
    "            File: %7\r\n"
    "Codice errore SO: %8\r\n"
    "\r\n"
    "Pila delle chiamate:\r\n",
    " Dettagli delle aree di lavoro ",
    "            Area: %1\r\n"
    "           Alias: %2\r\n"
    "          Record: %3\r\n"
    "          Filtro: %4\r\n"
    "       Relazione: %5\r\n"
    "   Ordine indice: %6\r\n"
    "   Chiave attiva: %7\r\n",
};

constexpr Column kPortuguese = {
    "Erro",
    "%1 no módulo ERRORSYS, linha: %2",
    "Argumentos: (%1)",
    "(DOS Error %1)",
    "&Sair",
    "&Repetir",
    "&Ignorar",
    "&Detalhes",
    "Erro",
    "Aviso",
    "[%1] = Tipo: %2 Valor: %3",
    " Registro de erros ",
    "            Data: %1\r\n"
    "            Hora: %2\r\n"
    "   Memória livre: %3\r\n"
    "      Área atual: %4\r\n",
    " Informação do compilador ",
    "   Versão da GUI: %1\r\n"
    "      Compilador: %2\r\n"
    "Compilador C/C++: %3\r\n"
    "      Plataforma: %4\r\n",
    " Informação detalhada do erro ",
    "      Subsistema: %1\r\n"
    "  Código de erro: %2\r\n"
    "          Estado: %3\r\n"
    "       Descrição: %4\r\n"
    "        Operação: %5\r\n"
    "      Argumentos: %6\r\n"
    "         Arquivo: %7\r\n"
    "  Código erro SO: %8\r\n"
    "\r\n"
    "Pilha de chamadas:\r\n",
    " Informação detalhada das áreas de trabalho ",
    "            Área: %1\r\n"
    "           Alias: %2\r\n"
    "        Registro: %3\r\n"
    "          Filtro: %4\r\n"
    "         Relação: %5\r\n"
    " Ordem do índice: %6\r\n"
    "     Chave ativa: %7\r\n",
};

constexpr Column kBasque = {
    "Errorea",
    "%1 ERRORSYS moduluan, lerroa: %2",
    "Argumentuak: (%1)",
    "(DOS Error %1)",
    "&Irten",
    "&Berriro saiatu",
    "&Ez ikusi",
    "&Xehetasunak",
    "Errorea",
    "Abisua",
    "[%1] = Mota: %2 Balioa: %3",
    " Erroreen erregistroa ",
    "            Data: %1\r\n"
    "           Ordua: %2\r\n"
    "  Memoria librea: %3\r\n"
    "      Uneko area: %4\r\n",
    " Konpilatzailearen informazioa ",
    "    GUI bertsioa: %1\r\n"
    "  Konpilatzailea: %2\r\n"
    "   C/C++ konpil.: %3\r\n"
    "      Plataforma: %4\r\n",
    " Errorearen informazio xehea ",
    "     Azpisistema: %1\r\n"
    "    Errore-kodea: %2\r\n"
    "          Egoera: %3\r\n"
    "    Deskribapena: %4\r\n"
    "       Eragiketa: %5\r\n"
    "     Argumentuak: %6\r\n"
    "      Fitxategia: %7\r\n"
    " SE errore-kodea: %8\r\n"
    "\r\n"
    "Deien pila:\r\n",
    " Lan-areen informazio xehea ",
    "            Area: %1\r\n"
    "          Aliasa: %2\r\n"
    "     Erregistroa: %3\r\n"
    "       Iragazkia: %4\r\n"
    "        Erlazioa: %5\r\n"
    "   Indize-ordena: %6\r\n"
    "    Gako aktiboa: %7\r\n",
};

constexpr Column kGalician = {
    "Erro",
    "%1 no módulo ERRORSYS, liña: %2",
    "Argumentos: (%1)",
    "(DOS Error %1)",
    "&Saír",
    "&Reintentar",
    "&Ignorar",
    "&Detalles",
    "Erro",
    "Aviso",
    "[%1] = Tipo: %2 Valor: %3",
    " Rexistro de erros ",
    "            Data: %1\r\n"
    "            Hora: %2\r\n"
    "   Memoria libre: %3\r\n"
    "     Área actual: %4\r\n",
    " Información do compilador ",
    "  Versión de GUI: %1\r\n"
    "      Compilador: %2\r\n"
    "Compilador C/C++: %3\r\n"
    "      Plataforma: %4\r\n",
    " Información detallada do erro ",
    "      Subsistema: %1\r\n"
    "  Código de erro: %2\r\n"
    "          Estado: %3\r\n"
    "      Descrición: %4\r\n"
    "       Operación: %5\r\n"
    "      Argumentos: %6\r\n"
    "        Ficheiro: %7\r\n"
    "  Código erro SO: %8\r\n"
    "\r\n"
    "Pila de chamadas:\r\n",
    " Información detallada das áreas de traballo ",
    "            Área: %1\r\n"
    "           Alias: %2\r\n"
    "        Rexistro: %3\r\n"
    "          Filtro: %4\r\n"
    "        Relación: %5\r\n"
    "  Orde do índice: %6\r\n"
    "    Clave activa: %7\r\n",
};

// In the order of Lang.
constexpr std::array<const Column*, 9> kColumns = {&kCatalan,    &kGerman, &kEnglish,
                                                   &kSpanish,    &kFrench, &kItalian,
                                                   &kPortuguese, &kBasque, &kGalician};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

Lang languageFromCode(std::string_view code) {
  // Only the primary language counts: "es_MX.UTF-8", "es-MX" and "ES" are all Spanish.
  static constexpr std::pair<std::string_view, Lang> kKnown[] = {
      {"ca", Lang::Catalan},    {"de", Lang::German}, {"en", Lang::English},
      {"es", Lang::Spanish},    {"fr", Lang::French}, {"it", Lang::Italian},
      {"pt", Lang::Portuguese}, {"eu", Lang::Basque}, {"gl", Lang::Galician}};
  const bool letterAfter = code.size() > 2 && lower(code[2]) >= 'a' && lower(code[2]) <= 'z';
  if (code.size() < 2 || letterAfter) return Lang::English;
  const char two[2] = {lower(code[0]), lower(code[1])};
  for (const auto& [name, lang] : kKnown)
    if (name == std::string_view(two, 2)) return lang;
  return Lang::English;
}

std::string_view entry(int number, Lang lang) {
  if (number < kFirst || number > kLast) return {};
  const auto column = static_cast<std::size_t>(lang);
  if (column >= kColumns.size()) return {};
  return (*kColumns[column])[static_cast<std::size_t>(number - kFirst)];
}

}  // namespace rt
