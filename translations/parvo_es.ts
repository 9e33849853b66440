<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>BatchStatus</name>
    <message>
        <source>Progress</source>
        <translation>Progreso</translation>
    </message>
    <message>
        <source>Stop</source>
        <extracomment>Stops the run in progress.</extracomment>
        <translation>Detener</translation>
    </message>
    <message>
        <source>Stop (Esc)</source>
        <translation>Detener (Esc)</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>Files done of the files of the run: &quot;3 of 12&quot;.</extracomment>
        <translation>%1 de %2</translation>
    </message>
    <message>
        <source>%1 of %2 · %3</source>
        <extracomment>Files done of the run&apos;s files, and the file being worked on.</extracomment>
        <translation>%1 de %2 · %3</translation>
    </message>
    <message>
        <source>%1 of %2 · %3 · page %4 of %5</source>
        <extracomment>&quot;3 of 12 · IMG_1.png · page 14 of 42&quot;: files done, the file, its page being worked on.</extracomment>
        <translation>%1 de %2 · %3 · página %4 de %5</translation>
    </message>
</context>
<context>
    <name>ByteText</name>
    <message>
        <source>Zero KB</source>
        <translation>Cero KB</translation>
    </message>
    <message>
        <source>1 byte</source>
        <translation>1 byte</translation>
    </message>
    <message numerus="yes">
        <source>%n bytes</source>
        <extracomment>A size below a kilobyte (never 1 in English, which has its own text).</extracomment>
        <translation>
            <numerusform>%n byte</numerusform>
            <numerusform>%n bytes</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CompressView</name>
    <message>
        <source>Pick a target size and Parvo shrinks them to fit — entirely on your Mac. Drop a folder to compress everything inside.</source>
        <extracomment>&quot;your Mac&quot; is shown as &quot;your computer&quot; outside macOS; translate it as &quot;your computer&quot;.</extracomment>
        <translation>Elija un tamaño de destino y Parvo los reduce para que quepan, todo en su equipo. Suelte una carpeta para comprimir todo lo que contiene.</translation>
    </message>
    <message>
        <source>Images and PDFs</source>
        <translation>Imágenes y PDF</translation>
    </message>
    <message>
        <source>Target size</source>
        <translation>Tamaño de destino</translation>
    </message>
    <message>
        <source>Keep text and links</source>
        <extracomment>Keeps the PDFs&apos; text, fonts and links instead of turning pages into pictures. The header is narrow: a short text is best.</extracomment>
        <translation>Conservar texto</translation>
    </message>
    <message>
        <source>Drop images, PDFs or a folder</source>
        <translation>Suelte imágenes, PDF o una carpeta</translation>
    </message>
    <message numerus="yes">
        <source>TO COMPRESS · %n</source>
        <extracomment>The heading above the files waiting to be compressed; %n is their number.</extracomment>
        <translation>
            <numerusform>POR COMPRIMIR · %n</numerusform>
            <numerusform>POR COMPRIMIR · %n</numerusform>
        </translation>
    </message>
    <message>
        <source>DONE</source>
        <extracomment>The heading above the results of the last run.</extracomment>
        <translation>HECHO</translation>
    </message>
    <message>
        <source>Compress</source>
        <extracomment>The button that starts compressing the queued files.</extracomment>
        <translation>Comprimir</translation>
    </message>
    <message>
        <source>Web (1 MB)</source>
        <extracomment>A size target for pictures on web pages.</extracomment>
        <translation>Web (1 MB)</translation>
    </message>
    <message>
        <source>Small (2 MB)</source>
        <translation>Pequeño (2 MB)</translation>
    </message>
    <message>
        <source>Email (10 MB)</source>
        <extracomment>A size target small enough for an email attachment.</extracomment>
        <translation>Correo (10 MB)</translation>
    </message>
    <message>
        <source>Compressing…</source>
        <translation>Comprimiendo…</translation>
    </message>
</context>
<context>
    <name>FileListView</name>
    <message>
        <source>Remove</source>
        <translation>Quitar</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Archivos</translation>
    </message>
</context>
<context>
    <name>FilePicker</name>
    <message>
        <source>Add Files…</source>
        <translation>Añadir archivos…</translation>
    </message>
    <message>
        <source>Add Folder…</source>
        <translation>Añadir carpeta…</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Añadir carpeta</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>Añadir archivos</translation>
    </message>
</context>
<context>
    <name>FileRowDelegate</name>
    <message>
        <source>Reveal</source>
        <extracomment>The link that shows a file written in the file manager.</extracomment>
        <translation>Mostrar en la carpeta</translation>
    </message>
</context>
<context>
    <name>HistoryRowDelegate</name>
    <message>
        <source>Reveal</source>
        <extracomment>The link that shows a file written in the file manager.</extracomment>
        <translation>Mostrar en la carpeta</translation>
    </message>
</context>
<context>
    <name>HistoryView</name>
    <message>
        <source>Your compressions, OCR and PDF operations show up here — stored only on your Mac.</source>
        <extracomment>&quot;your Mac&quot; is shown as &quot;your computer&quot; outside macOS; translate it as &quot;your computer&quot;.</extracomment>
        <translation>Aquí aparecen sus compresiones, reconocimientos de texto y operaciones con PDF, guardados solo en su equipo.</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Historial</translation>
    </message>
    <message>
        <source>Entries</source>
        <translation>Entradas</translation>
    </message>
    <message>
        <source>Clear</source>
        <extracomment>Deletes every history entry.</extracomment>
        <translation>Vaciar</translation>
    </message>
    <message>
        <source>No history yet</source>
        <translation>Aún no hay historial</translation>
    </message>
</context>
<context>
    <name>Icons</name>
    <message>
        <source>Document</source>
        <translation>Documento</translation>
    </message>
    <message>
        <source>Compress</source>
        <translation>Comprimir</translation>
    </message>
    <message>
        <source>PDF Tools</source>
        <translation>Herramientas PDF</translation>
    </message>
    <message>
        <source>OCR</source>
        <translation>OCR</translation>
    </message>
    <message>
        <source>Clock</source>
        <translation>Reloj</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Historial</translation>
    </message>
    <message>
        <source>Drop files here</source>
        <translation>Suelte los archivos aquí</translation>
    </message>
    <message>
        <source>Image</source>
        <translation>Imagen</translation>
    </message>
    <message>
        <source>Searchable document</source>
        <translation>Documento con búsqueda</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>Guardado</translation>
    </message>
    <message>
        <source>Nothing saved</source>
        <translation>No se guardó nada</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Compress</source>
        <translation>Comprimir</translation>
    </message>
    <message>
        <source>PDF Tools</source>
        <translation>Herramientas PDF</translation>
    </message>
    <message>
        <source>OCR</source>
        <translation>OCR</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Historial</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Archivo</translation>
    </message>
    <message>
        <source>New Window</source>
        <translation>Ventana nueva</translation>
    </message>
    <message>
        <source>Add Files…</source>
        <translation>Añadir archivos…</translation>
    </message>
    <message>
        <source>Close Window</source>
        <translation>Cerrar ventana</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>Ay&amp;uda</translation>
    </message>
    <message>
        <source>About Parvo</source>
        <translation>Acerca de Parvo</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Buscar actualizaciones…</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Parvo %1&lt;/h3&gt;&lt;p&gt;Makes images and PDFs smaller, splits and merges PDFs, and makes scans searchable — entirely on your computer.&lt;/p&gt;&lt;p&gt;Licensed under the GNU General Public License, version 3 or later.&lt;/p&gt;</source>
        <extracomment>%1 is the version number.</extracomment>
        <translation>&lt;h3&gt;Parvo %1&lt;/h3&gt;&lt;p&gt;Reduce el tamaño de imágenes y PDF, divide y une PDF, y permite buscar texto en documentos escaneados, todo en su equipo.&lt;/p&gt;&lt;p&gt;Distribuido bajo la Licencia Pública General de GNU, versión 3 o posterior.&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>OCRView</name>
    <message>
        <source>Make searchable</source>
        <translation>Permitir búsquedas</translation>
    </message>
    <message>
        <source>Run OCR</source>
        <translation>Ejecutar OCR</translation>
    </message>
    <message>
        <source>Working…</source>
        <translation>Procesando…</translation>
    </message>
    <message>
        <source>Drop scans or image PDFs</source>
        <translation>Suelte escaneos o PDF de imágenes</translation>
    </message>
    <message>
        <source>Parvo adds an invisible, searchable text layer — your scans become selectable and findable. On your Mac.</source>
        <extracomment>&quot;your Mac&quot; is shown as &quot;your computer&quot; outside macOS; translate it as &quot;your computer&quot;.</extracomment>
        <translation>Parvo añade una capa de texto invisible: podrá seleccionar y buscar texto en sus escaneos. En su equipo.</translation>
    </message>
    <message>
        <source>Drop scans or PDFs to make searchable</source>
        <extracomment>Shown while files are dragged over the screen.</extracomment>
        <translation>Suelte escaneos o PDF para permitir búsquedas</translation>
    </message>
    <message>
        <source>Scans and PDFs</source>
        <extracomment>The file dialog&apos;s filter name.</extracomment>
        <translation>Escaneos y PDF</translation>
    </message>
    <message>
        <source>Keep bookmarks and links</source>
        <translation>Conservar marcadores y enlaces</translation>
    </message>
</context>
<context>
    <name>OutcomeWords</name>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>Couldn&apos;t process — the file stopped the engine</source>
        <translation>No se pudo procesar: el archivo detuvo el motor</translation>
    </message>
    <message>
        <source>Couldn&apos;t process — needed more memory than allowed</source>
        <translation>No se pudo procesar: necesitaba más memoria de la permitida</translation>
    </message>
    <message>
        <source>Couldn&apos;t process — Parvo&apos;s engine helper is missing</source>
        <translation>No se pudo procesar: falta el programa auxiliar del motor de Parvo</translation>
    </message>
    <message>
        <source>Couldn&apos;t process — took longer than %1</source>
        <extracomment>%1 is a duration such as &quot;90 s&quot; or &quot;10 min&quot;.</extracomment>
        <translation>No se pudo procesar: tardó más de %1</translation>
    </message>
    <message>
        <source>Couldn&apos;t process</source>
        <translation>No se pudo procesar</translation>
    </message>
    <message>
        <source>Already optimized — left as is</source>
        <translation>Ya optimizado: se deja como está</translation>
    </message>
    <message>
        <source>Copied — already small</source>
        <extracomment>A file of a dropped folder, copied because nothing smaller came out.</extracomment>
        <translation>Copiado: ya es pequeño</translation>
    </message>
    <message>
        <source>Copied — couldn&apos;t compress</source>
        <translation>Copiado: no se pudo comprimir</translation>
    </message>
    <message>
        <source>searchable PDF</source>
        <extracomment>What an OCR row made: a PDF whose text can be searched.</extracomment>
        <translation>PDF con búsqueda</translation>
    </message>
    <message>
        <source>No text found</source>
        <translation>No se encontró texto</translation>
    </message>
    <message numerus="yes">
        <source>%np</source>
        <extracomment>The page count of a written part, abbreviated: &quot;12p&quot;.</extracomment>
        <translation>
            <numerusform>%n pág.</numerusform>
            <numerusform>%n págs.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n pages</source>
        <translation>
            <numerusform>%n página</numerusform>
            <numerusform>%n páginas</numerusform>
        </translation>
    </message>
    <message>
        <source>Couldn&apos;t open</source>
        <translation>No se pudo abrir</translation>
    </message>
    <message>
        <source>Bad range</source>
        <extracomment>The page range typed matches no page of the document.</extracomment>
        <translation>Intervalo no válido</translation>
    </message>
    <message>
        <source>Couldn&apos;t save</source>
        <translation>No se pudo guardar</translation>
    </message>
    <message>
        <source>Need at least one valid PDF</source>
        <translation>Se necesita al menos un PDF válido</translation>
    </message>
    <message>
        <source>No bookmarks</source>
        <translation>Sin marcadores</translation>
    </message>
    <message>
        <source>Couldn&apos;t save: %1</source>
        <extracomment>%1 is the system&apos;s description of the error.</extracomment>
        <translation>No se pudo guardar: %1</translation>
    </message>
    <message>
        <source>Couldn&apos;t copy: %1</source>
        <extracomment>%1 is the system&apos;s description of the error.</extracomment>
        <translation>No se pudo copiar: %1</translation>
    </message>
    <message>
        <source>above the %1 target</source>
        <extracomment>A file written still larger than its size target; %1 is the target&apos;s size (&quot;2 MB&quot;).</extracomment>
        <translation>por encima del objetivo de %1</translation>
    </message>
    <message>
        <source>%1 → %2  (−%3%)</source>
        <extracomment>A compressed file&apos;s size before and after, and the share saved.</extracomment>
        <translation>%1 → %2  (−%3 %)</translation>
    </message>
    <message>
        <source>Compress</source>
        <translation>Comprimir</translation>
    </message>
    <message>
        <source>OCR</source>
        <translation>OCR</translation>
    </message>
    <message>
        <source>PDF Tools</source>
        <translation>Herramientas PDF</translation>
    </message>
    <message>
        <source>%1 → %2 (−%3%)</source>
        <extracomment>A history entry&apos;s size before and after compression, and the share saved.</extracomment>
        <translation>%1 → %2 (−%3 %)</translation>
    </message>
    <message>
        <source>%1 · %2</source>
        <extracomment>Two parts of a row&apos;s text, such as a mode and a note.</extracomment>
        <translation>%1 · %2</translation>
    </message>
</context>
<context>
    <name>PDFToolsView</name>
    <message>
        <source>PDF Tools</source>
        <translation>Herramientas PDF</translation>
    </message>
    <message>
        <source>Run</source>
        <extracomment>The button that runs the chosen operation on the queued PDFs.</extracomment>
        <translation>Ejecutar</translation>
    </message>
    <message>
        <source>Working…</source>
        <translation>Procesando…</translation>
    </message>
    <message>
        <source>Drop PDFs</source>
        <extracomment>Shown while PDFs are dragged over the screen.</extracomment>
        <translation>Suelte archivos PDF</translation>
    </message>
    <message>
        <source>Merge several into one, split into chunks, or pull out a page range. On your Mac.</source>
        <extracomment>&quot;your Mac&quot; is shown as &quot;your computer&quot; outside macOS; translate it as &quot;your computer&quot;.</extracomment>
        <translation>Una varios en uno, divídalos en partes o extraiga un intervalo de páginas. En su equipo.</translation>
    </message>
    <message>
        <source>PDFs</source>
        <extracomment>The file dialog&apos;s filter name.</extracomment>
        <translation>Archivos PDF</translation>
    </message>
    <message>
        <source>Operation</source>
        <translation>Operación</translation>
    </message>
    <message>
        <source>Pages per chunk</source>
        <translation>Páginas por parte</translation>
    </message>
    <message>
        <source>every </source>
        <extracomment>Before the number of pages per part: &quot;every 10&quot;.</extracomment>
        <translation>cada </translation>
    </message>
    <message>
        <source>Page range</source>
        <translation>Intervalo de páginas</translation>
    </message>
    <message>
        <source>Keep bookmarks</source>
        <translation>Conservar marcadores</translation>
    </message>
    <message>
        <source>Merge</source>
        <translation>Unir</translation>
    </message>
    <message>
        <source>Split every N</source>
        <extracomment>Splits each PDF into parts of N pages; N is chosen beside it.</extracomment>
        <translation>Dividir cada N</translation>
    </message>
    <message>
        <source>Extract pages</source>
        <translation>Extraer páginas</translation>
    </message>
    <message>
        <source>Split at bookmarks</source>
        <translation>Dividir por marcadores</translation>
    </message>
</context>
<context>
    <name>ResultListModel</name>
    <message>
        <source>%1; Enter reveals it in the file manager</source>
        <extracomment>Read by screen readers; %1 says whether the row&apos;s file was saved.</extracomment>
        <translation>%1; Intro lo muestra en el gestor de archivos</translation>
    </message>
</context>
<context>
    <name>UpdaterController</name>
    <message>
        <source>The update feed is too large.</source>
        <translation>La fuente de actualizaciones es demasiado grande.</translation>
    </message>
    <message>
        <source>The update server did not answer in time.</source>
        <translation>El servidor de actualizaciones no respondió a tiempo.</translation>
    </message>
    <message>
        <source>You’re up to date!</source>
        <translation>¡Está al día!</translation>
    </message>
    <message>
        <source>A new version of Parvo is available!</source>
        <translation>¡Hay una versión nueva de Parvo!</translation>
    </message>
    <message>
        <source>Couldn’t check for updates.</source>
        <translation>No se pudieron buscar actualizaciones.</translation>
    </message>
    <message>
        <source>Parvo %1 is currently the newest version available.</source>
        <translation>Parvo %1 es la versión más reciente disponible.</translation>
    </message>
    <message>
        <source>Parvo %1 is now available — you have %2.</source>
        <extracomment>%1 is the new version, %2 the one installed.</extracomment>
        <translation>Parvo %1 ya está disponible; usted tiene la %2.</translation>
    </message>
    <message>
        <source>The update feed could not be read.</source>
        <translation>No se pudo leer la fuente de actualizaciones.</translation>
    </message>
    <message>
        <source>Software Update</source>
        <translation>Actualización de software</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Descargar</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Más tarde</translation>
    </message>
</context>
</TS>
