<?php
/**
 * The delivery files: the build's list of them, where the plugin keeps each one, and the one
 * streamer that hands a file out to a buyer, whole or a byte range of it.
 *
 * Each file is kept under a random name ending in ".php", behind a first line that makes PHP
 * stop before it reaches the file's own bytes: a direct request gets an empty answer on any web
 * server that runs PHP, whether or not it reads .htaccess.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * The build's list of the delivery files: 'files' holds their names in the order the converted
 * download page numbers them, 'stored' the same files as the plugin keeps them. A plugin built
 * without any has empty lists.
 *
 * @return array
 */
function #prefix#_delivery() {
	static $delivery = null;
	if ( null === $delivery ) {
		$list     = __DIR__ . '/delivery.php';
		$delivery = is_file( $list ) ? (array) include $list : array();
		$delivery = $delivery + array(
			'files'  => array(),
			'stored' => array(),
		);
	}
	return $delivery;
}

/**
 * The guard before a stored file's own bytes, as the build writes it and the upload store too.
 *
 * @return string
 */
function #prefix#_store_guard() {
	return '<?php exit; __halt_compiler();';
}

/**
 * Where the files the owner uploads on the funnel's screen are kept: a folder of the site's
 * uploads, outside the plugin's folder, so that an update of the plugin (which replaces that
 * folder) leaves them. Its name ends in 32 random hex digits, made once per site and kept in an
 * option. Each file is named after its SHA-256, so any build of the plugin that lists the same
 * bytes finds it, whatever name that build gave it in its own store. '' when the site has no
 * uploads folder, or with $make false when no upload ever began.
 *
 * @param bool $make Whether to choose the folder's name when it has none yet.
 * @return string
 */
function #prefix#_upload_store( $make = false ) {
	$random = get_option( '#prefix#_upload_store', '' );
	if ( ! is_string( $random ) || ! preg_match( '/^[0-9a-f]{32}$/', $random ) ) {
		if ( ! $make ) {
			return '';
		}
		add_option( '#prefix#_upload_store', bin2hex( random_bytes( 16 ) ), '', false );
		// Another request may have chosen first: its name is the one kept.
		$random = (string) get_option( '#prefix#_upload_store', '' );
	}
	$uploads = wp_upload_dir( null, false );
	if ( ! preg_match( '/^[0-9a-f]{32}$/', $random ) || ! empty( $uploads['error'] ) || empty( $uploads['basedir'] ) ) {
		return '';
	}
	return untrailingslashit( $uploads['basedir'] ) . '/#prefix#-delivery-' . $random;
}

/**
 * Makes the upload store's folder with the same index.php and .htaccess as the plugin's own
 * store; the guard in each file is what protects it where .htaccess is not read.
 *
 * @return string The folder, or '' when it cannot be made.
 */
function #prefix#_prepare_upload_store() {
	$store = #prefix#_upload_store( true );
	if ( '' === $store || ! wp_mkdir_p( $store ) ) {
		return '';
	}
	$guards = array(
		'index.php' => "<?php\n// Nothing to list here.\nexit;\n",
		'.htaccess' => "<IfModule mod_authz_core.c>\n    Require all denied\n</IfModule>\n<IfModule !mod_authz_core.c>\n    Order allow,deny\n    Deny from all\n</IfModule>\n",
	);
	foreach ( $guards as $file => $content ) {
		// phpcs:ignore WordPress.WP.AlternativeFunctions.file_system_read_file_put_contents -- Two small files, written where the pieces are written.
		if ( ! is_file( $store . '/' . $file ) && false === file_put_contents( $store . '/' . $file, $content ) ) {
			return '';
		}
	}
	return $store;
}

/**
 * Removes the upload store with every file in it (the plugin's uninstall does this).
 */
function #prefix#_remove_upload_store() {
	$store = #prefix#_upload_store();
	if ( '' !== $store && is_dir( $store ) ) {
		require_once ABSPATH . 'wp-admin/includes/file.php';
		// WP_Filesystem() sets up the file system object WordPress keeps among its globals.
		if ( WP_Filesystem() && ! empty( $GLOBALS['wp_filesystem'] ) ) {
			$GLOBALS['wp_filesystem']->rmdir( $store, true );
		}
	}
	delete_option( '#prefix#_upload_store' );
}

/**
 * Where one delivery file is: the stored file's absolute path, the bytes of guard before the
 * file's own bytes, their number and their SHA-256 (hex); null for a name the build did not list.
 * A file that came in the ZIP is in the plugin's own store; any other is looked for in the upload
 * store by its SHA-256 (where it is expected until it is uploaded, once the store exists). The name is only looked up,
 * never used as a path.
 *
 * @param string $name The file's name as the site names it.
 * @return array|null
 */
function #prefix#_delivery_file( $name ) {
	$delivery = #prefix#_delivery();
	$index    = is_string( $name ) ? array_search( $name, $delivery['files'], true ) : false;
	if ( false === $index || ! isset( $delivery['stored'][ $index ]['file'] ) ) {
		return null;
	}
	$stored = $delivery['stored'][ $index ];
	$file   = array(
		'path'   => __DIR__ . '/' . $stored['file'],
		'offset' => (int) $stored['offset'],
		'size'   => (int) $stored['size'],
		'sha256' => strtolower( (string) $stored['sha256'] ),
	);
	$store  = is_file( $file['path'] ) ? '' : #prefix#_upload_store();
	if ( '' !== $store && preg_match( '/^[0-9a-f]{64}$/', $file['sha256'] ) ) {
		$file['path']   = $store . '/' . $file['sha256'] . '.php';
		$file['offset'] = strlen( #prefix#_store_guard() );
	}
	return $file;
}

/**
 * The bytes a Range header asks for of a file of $size bytes: array( first, last ) for one range
 * that can be served, null to serve the whole file (no header, another unit, several ranges or
 * one that does not parse), false when nothing of the file is asked for (416). A range that
 * ends before it starts, one that starts at or past the end and "bytes=-0" are such.
 *
 * @param string $header The Range header as sent, or ''.
 * @param int    $size   The file's size in bytes.
 * @return int[]|null|false
 */
function #prefix#_delivery_range( $header, $size ) {
	if ( ! preg_match( '/^bytes=(\d*)-(\d*)$/', trim( $header ), $asked ) || ( '' === $asked[1] && '' === $asked[2] ) ) {
		return null;
	}
	if ( '' === $asked[1] ) {
		$suffix = (int) $asked[2];
		if ( 0 === $suffix || 0 === $size ) {
			return false;
		}
		return array( max( 0, $size - $suffix ), $size - 1 );
	}
	$first = (int) $asked[1];
	if ( $first >= $size || ( '' !== $asked[2] && (int) $asked[2] < $first ) ) {
		return false;
	}
	return array( $first, '' === $asked[2] ? $size - 1 : min( $size - 1, (int) $asked[2] ) );
}

/**
 * Streams one delivery file to a buyer whose right to it was checked: under its own name, a
 * single byte range when asked (to resume a large download), in chunks so that a file of any
 * size needs no more memory than one chunk. A stored file whose size is not the listed one is
 * refused rather than sent wrong. When the bytes went out, "#prefix#_delivery_sent" tells who
 * listens (the file's name, the bytes sent and the caller's context).
 *
 * @param string $requested The file's name as the request gives it.
 * @param array  $context   What the caller knows of the request (such as the buyer), passed on.
 */
function #prefix#_send_delivery_file( $requested, $context = array() ) {
	$file = #prefix#_delivery_file( $requested );
	if ( null === $file ) {
		wp_die( esc_html__( 'There is no such file to download.', '#prefix#' ), '', array( 'response' => 404 ) );
	}
	$stored_size = is_file( $file['path'] ) ? filesize( $file['path'] ) : false;
	if ( false === $stored_size ) {
		#prefix#_refuse_missing_file( $requested );
	}
	if ( $file['offset'] + $file['size'] !== $stored_size ) {
		wp_die( esc_html__( 'This file was changed after the plugin was built, so it is not sent. Please install the plugin again.', '#prefix#' ), '', array( 'response' => 500 ) );
	}

	$size  = $file['size'];
	$range = #prefix#_delivery_range( isset( $_SERVER['HTTP_RANGE'] ) ? sanitize_text_field( wp_unslash( $_SERVER['HTTP_RANGE'] ) ) : '', $size );
	if ( false === $range ) {
		status_header( 416 );
		header( 'Content-Range: bytes */' . $size );
		exit;
	}
	list( $first, $last ) = null === $range ? array( 0, $size - 1 ) : $range;
	#prefix#_delivery_headers( $requested, null === $range ? 200 : 206, $first, $last, $size );
	if ( isset( $_SERVER['REQUEST_METHOD'] ) && 'HEAD' === $_SERVER['REQUEST_METHOD'] ) {
		exit;
	}
	$sent = #prefix#_stream_bytes( $file['path'], $file['offset'] + $first, $last - $first + 1 );
	do_action( '#prefix#_delivery_sent', $requested, $sent, $context );
	exit;
}

/**
 * The status and headers of a download of bytes $first to $last of a file of $size bytes.
 *
 * @param string $name   The file's name as the site names it.
 * @param int    $status 200 or 206.
 * @param int    $first  The first byte sent.
 * @param int    $last   The last byte sent.
 * @param int    $size   The file's size.
 */
function #prefix#_delivery_headers( $name, $status, $first, $last, $size ) {
	// The name's last part after "/": a backslash is part of a file's name here, not a separator.
	$slash    = strrpos( $name, '/' );
	$base     = false === $slash ? $name : substr( $name, $slash + 1 );
	$type     = wp_check_filetype( $base );
	$fallback = preg_replace( '/[^\x20-\x7e]|["\\\\]/', '_', $base );
	while ( ob_get_level() > 0 ) {
		ob_end_clean();
	}
	status_header( $status );
	header( 'Content-Type: ' . ( $type['type'] ? $type['type'] : 'application/octet-stream' ) );
	header( 'Content-Disposition: attachment; filename="' . $fallback . '"; filename*=UTF-8\'\'' . rawurlencode( $base ) );
	header( 'Content-Length: ' . ( $last - $first + 1 ) );
	header( 'Accept-Ranges: bytes' );
	if ( 206 === $status ) {
		header( 'Content-Range: bytes ' . $first . '-' . $last . '/' . $size );
	}
}

/**
 * Prints $length bytes of a file from byte $from on, in chunks; returns how many went out.
 *
 * @param string $path   The stored file.
 * @param int    $from   Where to start reading.
 * @param int    $length How many bytes to send.
 * @return int
 */
function #prefix#_stream_bytes( $path, $from, $length ) {
	// phpcs:ignore WordPress.WP.AlternativeFunctions.file_system_read_fopen -- WP_Filesystem reads whole files into memory; a download is streamed in chunks.
	$handle = fopen( $path, 'rb' );
	if ( false === $handle || 0 !== fseek( $handle, $from ) ) {
		return 0;
	}
	$sent = 0;
	while ( $sent < $length && ! feof( $handle ) ) {
		// phpcs:ignore WordPress.WP.AlternativeFunctions.file_system_read_fread -- Streamed in chunks, see above.
		$chunk = fread( $handle, (int) min( 65536, $length - $sent ) );
		if ( false === $chunk || '' === $chunk ) {
			break;
		}
		$sent += strlen( $chunk );
		echo $chunk; // phpcs:ignore WordPress.Security.EscapeOutput.OutputNotEscaped -- The file's own bytes, sent as a download.
		flush();
	}
	fclose( $handle ); // phpcs:ignore WordPress.WP.AlternativeFunctions.file_system_read_fclose -- Streamed in chunks, see above.
	return $sent;
}

/**
 * Earlier versions kept the delivery files as they were, in a folder "delivery-" and 32 hex
 * digits closed only by its .htaccess. A plugin folder copied over such a version by hand (by FTP,
 * or the host's file manager) keeps that folder, whose files any server that reads no .htaccess
 * hands out: it goes as soon as the new version runs. The folder of the current store and
 * anything else are left alone.
 */
function #prefix#_remove_old_delivery_folders() {
	$found = glob( __DIR__ . '/delivery-*', GLOB_ONLYDIR | GLOB_NOSORT );
	$old   = array();
	foreach ( is_array( $found ) ? $found : array() as $folder ) {
		if ( preg_match( '/^delivery-[0-9a-f]{32}$/', basename( $folder ) ) ) {
			$old[] = $folder;
		}
	}
	if ( ! $old ) {
		return;
	}
	require_once ABSPATH . 'wp-admin/includes/file.php';
	// WP_Filesystem() sets up the file system object WordPress keeps among its globals.
	if ( ! WP_Filesystem() || empty( $GLOBALS['wp_filesystem'] ) ) {
		return;
	}
	foreach ( $old as $folder ) {
		$GLOBALS['wp_filesystem']->rmdir( $folder, true );
	}
}
add_action( 'init', '#prefix#_remove_old_delivery_folders' );
