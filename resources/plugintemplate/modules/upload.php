<?php
/**
 * Delivery files uploaded on the site. A plugin built without its delivery files' bytes (to get
 * through the host's upload limit) lists them all the same; the funnel's screen says which are
 * missing and takes each file in pieces smaller than the host's limit. The pieces go into a
 * partial file in the upload store (outside the plugin's folder, so that an update of the plugin
 * keeps what was uploaded), behind the same guard as the build writes; when the last byte is in,
 * the whole is checked against the list's size and SHA-256 and only then takes its stored name.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * Where a file being uploaded gathers its pieces: beside its stored name, also ending in ".php"
 * and behind the guard, so a direct request gets nothing from it either.
 *
 * @param array $file The stored file, as #prefix#_delivery_file() gives it.
 * @return string
 */
function #prefix#_partial_path( $file ) {
	return preg_replace( '/\.php$/', '', $file['path'] ) . '.part.php';
}

/**
 * Whether a delivery file is in the store: its stored file holds the guard and the listed number
 * of bytes. Only a file whose SHA-256 was checked ever takes a stored name (or came in the ZIP).
 *
 * @param string $name The file's name as the site names it.
 * @return bool
 */
function #prefix#_delivery_present( $name ) {
	$file = #prefix#_delivery_file( $name );
	if ( null === $file ) {
		return false;
	}
	clearstatcache( true, $file['path'] );
	return is_file( $file['path'] ) && filesize( $file['path'] ) === $file['offset'] + $file['size'];
}

/**
 * The delivery files that are not in the store yet.
 *
 * @return string[]
 */
function #prefix#_missing_delivery_files() {
	return array_values(
		array_filter(
			#prefix#_delivery()['files'],
			function ( $name ) {
				return ! #prefix#_delivery_present( $name );
			}
		)
	);
}

/**
 * How one delivery file stands: its name, size, the bytes an upload has brought so far and
 * whether it is present.
 *
 * @param int $index The file's place in the list.
 * @return array
 */
function #prefix#_upload_state( $index ) {
	$name = #prefix#_delivery()['files'][ $index ];
	$file = #prefix#_delivery_file( $name );
	$part = #prefix#_partial_path( $file );
	clearstatcache( true, $part );
	$present = #prefix#_delivery_present( $name );
	return array(
		'index'    => $index,
		'name'     => $name,
		'size'     => $file['size'],
		'received' => $present ? $file['size'] : ( is_file( $part ) ? max( 0, filesize( $part ) - $file['offset'] ) : 0 ),
		'present'  => $present,
	);
}

/**
 * The bytes one piece may hold: what the host takes in one request, less room for the rest of
 * the form, and never more than 16 MB so that a broken connection loses little.
 *
 * @return int
 */
function #prefix#_upload_piece_size() {
	return (int) max( 65536, min( 16 * MB_IN_BYTES, wp_max_upload_size() - 65536 ) );
}

/**
 * The funnel an upload request names, once its nonce and the user's right to manage the funnel
 * are checked; ends the request with 403 otherwise.
 *
 * @return int
 */
function #prefix#_upload_request_funnel() {
	$post_id = isset( $_POST['funnel'] ) ? absint( $_POST['funnel'] ) : 0; // phpcs:ignore WordPress.Security.NonceVerification.Missing -- The nonce names the funnel, so it is checked next.
	if ( ! check_ajax_referer( '#prefix#_upload_' . $post_id, 'nonce', false )
		|| get_post_type( $post_id ) !== #prefix#_post_type() || ! #prefix#_can_manage( $post_id ) ) {
		wp_send_json_error( array( 'message' => __( 'You may not upload files for this funnel. Reload the page and sign in again.', '#prefix#' ) ), 403 );
	}
	return $post_id;
}

/**
 * The place in the list an upload request names; ends the request with 400 for none.
 *
 * @return int
 */
function #prefix#_upload_request_index() {
	// phpcs:ignore WordPress.Security.NonceVerification.Missing -- Checked by #prefix#_upload_request_funnel().
	$index = isset( $_POST['index'] ) ? absint( $_POST['index'] ) : -1;
	if ( ! isset( #prefix#_delivery()['files'][ $index ] ) ) {
		wp_send_json_error( array( 'message' => __( 'The plugin expects no such file.', '#prefix#' ) ), 400 );
	}
	return $index;
}

/**
 * Answers the uploader with the state of every delivery file, so that it continues each from
 * the bytes the server has.
 */
function #prefix#_upload_status() {
	#prefix#_upload_request_funnel();
	wp_send_json_success( array_map( '#prefix#_upload_state', array_keys( #prefix#_delivery()['files'] ) ) );
}
add_action( 'wp_ajax_#prefix#_upload_status', '#prefix#_upload_status' );

/**
 * Takes one piece of a delivery file: appended to the partial file when it starts where the
 * bytes received end (or starts the file over at 0). The last piece makes the server check the
 * whole against the list before the file counts as present.
 */
function #prefix#_upload_piece() {
	#prefix#_upload_request_funnel();
	$index = #prefix#_upload_request_index();
	$state = #prefix#_upload_state( $index );
	// phpcs:disable WordPress.Security.NonceVerification.Missing -- Checked by #prefix#_upload_request_funnel().
	$offset = isset( $_POST['offset'] ) ? absint( $_POST['offset'] ) : -1;
	$piece  = isset( $_FILES['piece']['tmp_name'], $_FILES['piece']['error'] ) && UPLOAD_ERR_OK === $_FILES['piece']['error']
		? sanitize_text_field( $_FILES['piece']['tmp_name'] ) : '';
	// phpcs:enable WordPress.Security.NonceVerification.Missing
	if ( $state['present'] ) {
		wp_send_json_success( $state );
	}
	if ( '' === $piece || ! is_uploaded_file( $piece ) ) {
		wp_send_json_error( array( 'message' => __( 'The piece did not arrive whole. Try again.', '#prefix#' ) ) + $state, 400 );
	}
	if ( 0 !== $offset && $state['received'] !== $offset ) {
		wp_send_json_error( array( 'message' => __( 'The upload continues from the bytes the server has.', '#prefix#' ) ) + $state, 409 );
	}
	if ( $offset + filesize( $piece ) > $state['size'] ) {
		wp_send_json_error( array( 'message' => __( 'This file is larger than the one the plugin expects: is it the right file?', '#prefix#' ) ) + $state, 422 );
	}
	$store = #prefix#_prepare_upload_store();
	$file  = #prefix#_delivery_file( $state['name'] );
	#prefix#_schedule_sweep();
	if ( '' === $store || 0 !== strpos( $file['path'], $store . '/' ) || ! #prefix#_append_piece( #prefix#_partial_path( $file ), $piece, $offset ) ) {
		wp_send_json_error( array( 'message' => __( 'The server could not store the piece: is the uploads folder writable?', '#prefix#' ) ) + $state, 409 );
	}
	$state = #prefix#_upload_state( $index );
	if ( $state['received'] === $state['size'] && ! #prefix#_finish_upload( $file ) ) {
		wp_send_json_error( array( 'message' => __( 'The uploaded file is not the one the plugin expects (its SHA-256 differs), so it was not kept. Upload the file you built the plugin with.', '#prefix#' ) ) + #prefix#_upload_state( $index ), 422 );
	}
	wp_send_json_success( #prefix#_upload_state( $index ) );
}
add_action( 'wp_ajax_#prefix#_upload_piece', '#prefix#_upload_piece' );

/**
 * Writes one piece into the partial file at $offset bytes after the guard, streamed; the file is
 * locked meanwhile, so two tabs uploading the same file cannot interleave their pieces.
 *
 * @param string $part   The partial file.
 * @param string $piece  The uploaded piece.
 * @param int    $offset Where the piece starts in the delivery file.
 * @return bool
 */
function #prefix#_append_piece( $part, $piece, $offset ) {
	$guard = #prefix#_store_guard();
	// phpcs:disable WordPress.WP.AlternativeFunctions -- WP_Filesystem holds whole files in memory; pieces are streamed into the protected store.
	$out = fopen( $part, 'c+b' );
	$in  = fopen( $piece, 'rb' );
	$ok  = false !== $out && false !== $in && flock( $out, LOCK_EX | LOCK_NB );
	if ( $ok ) {
		$size = fstat( $out )['size'];
		$ok   = ( 0 === $offset || strlen( $guard ) + $offset === $size ) && ftruncate( $out, strlen( $guard ) + $offset )
			&& 0 === fseek( $out, 0 ) && strlen( $guard ) === fwrite( $out, $guard ) && 0 === fseek( $out, 0, SEEK_END )
			&& stream_copy_to_stream( $in, $out ) === filesize( $piece ) && fflush( $out );
		flock( $out, LOCK_UN );
	}
	foreach ( array( $out, $in ) as $handle ) {
		if ( false !== $handle ) {
			fclose( $handle );
		}
	}
	// phpcs:enable WordPress.WP.AlternativeFunctions
	return $ok;
}

/**
 * Checks a whole partial file against the list: its SHA-256 is hashed from the file in chunks.
 * A match takes the stored name in one step; anything else is removed.
 *
 * @param array $file The stored file, as #prefix#_delivery_file() gives it.
 * @return bool Whether the file is now present.
 */
function #prefix#_finish_upload( $file ) {
	$part = #prefix#_partial_path( $file );
	// phpcs:disable WordPress.WP.AlternativeFunctions -- Hashed in chunks, see above.
	$in   = fopen( $part, 'rb' );
	$hash = hash_init( 'sha256' );
	if ( false !== $in && 0 === fseek( $in, $file['offset'] ) ) {
		hash_update_stream( $hash, $in );
	}
	if ( false !== $in ) {
		fclose( $in );
	}
	$same = false !== $in && hash_equals( $file['sha256'], hash_final( $hash ) );
	if ( $same && rename( $part, $file['path'] ) ) {
		return true;
	}
	// phpcs:enable WordPress.WP.AlternativeFunctions
	wp_delete_file( $part );
	return false;
}

/**
 * Adds the delivery files' upload box to the funnel's screen when the plugin lists any.
 *
 * @param WP_Post $post The funnel being edited.
 */
function #prefix#_add_upload_box( $post ) {
	if ( ! #prefix#_delivery()['files'] || ! #prefix#_can_manage( $post->ID ) ) {
		return;
	}
	add_meta_box( '#prefix#_upload', esc_html__( 'Files for buyers: upload', '#prefix#' ), '#prefix#_render_upload_box', #prefix#_post_type(), 'normal', 'high' );
}
add_action( 'add_meta_boxes_' . #prefix#_post_type(), '#prefix#_add_upload_box' );

/**
 * Lists each delivery file with its state and an upload control; the script does the rest.
 *
 * @param WP_Post $post The funnel being edited.
 */
function #prefix#_render_upload_box( $post ) {
	$missing = #prefix#_missing_delivery_files();
	if ( $missing ) {
		printf(
			'<div class="notice notice-warning inline"><p>%1$s</p></div>',
			esc_html(
				sprintf(
					/* translators: %d: how many files are missing. */
					_n( '%d file for buyers is not on the site yet. Until it is, buyers see that it is being prepared. Upload it below.', '%d files for buyers are not on the site yet. Until they are, buyers see that they are being prepared. Upload them below.', count( $missing ), '#prefix#' ),
					count( $missing )
				)
			)
		);
	}
	echo '<table class="widefat striped" data-upload="' . esc_attr( wp_json_encode( #prefix#_uploader_settings( $post->ID ) ) ) . '"><tbody>';
	foreach ( array_keys( #prefix#_delivery()['files'] ) as $index ) {
		$state = #prefix#_upload_state( $index );
		printf(
			'<tr data-index="%1$d" data-size="%2$d"><td><strong>%3$s</strong><br />%4$s</td><td class="%5$s">%6$s</td>'
			. '<td><input type="file" aria-label="%7$s" /> <button type="button" class="button">%8$s</button><br />'
			. '<progress max="%2$d" value="%9$d"></progress></td></tr>',
			(int) $index,
			(int) $state['size'],
			esc_html( $state['name'] ),
			esc_html( size_format( $state['size'], 1 ) ),
			esc_attr( $state['present'] ? 'present' : 'missing' ),
			esc_html( #prefix#_upload_state_text( $state ) ),
			esc_attr( $state['name'] ),
			esc_html__( 'Upload', '#prefix#' ),
			(int) $state['received']
		);
	}
	echo '</tbody></table>';
}

/**
 * What the uploader script needs to know: where to send, the nonce, the piece size and its texts.
 *
 * @param int $post_id The funnel.
 * @return array
 */
function #prefix#_uploader_settings( $post_id ) {
	return array(
		'url'       => admin_url( 'admin-ajax.php' ),
		'funnel'    => $post_id,
		'nonce'     => wp_create_nonce( '#prefix#_upload_' . $post_id ),
		'status'    => '#prefix#_upload_status',
		'piece'     => '#prefix#_upload_piece',
		'pieceSize' => #prefix#_upload_piece_size(),
		'texts'     => array(
			'choose'    => __( 'Choose the file first.', '#prefix#' ),
			'wrongSize' => __( 'This file is not the size the plugin expects: is it the right file?', '#prefix#' ),
			/* translators: %s: how much of the file has arrived, such as "40%". */
			'sending'   => __( 'Uploading… %s', '#prefix#' ),
			'retrying'  => __( 'The connection broke; trying again…', '#prefix#' ),
			'present'   => __( 'On the site.', '#prefix#' ),
			'failed'    => __( 'The upload stopped. Choose the file again to continue where it stopped.', '#prefix#' ),
		),
	);
}

/**
 * A file's state in words.
 *
 * @param array $state As #prefix#_upload_state() gives it.
 * @return string
 */
function #prefix#_upload_state_text( $state ) {
	if ( $state['present'] ) {
		return __( 'On the site.', '#prefix#' );
	}
	if ( $state['received'] > 0 ) {
		/* translators: 1: bytes received so far, 2: the file's size. */
		return sprintf( __( 'Missing: %1$s of %2$s arrived. Choose the same file to continue.', '#prefix#' ), size_format( $state['received'], 1 ), size_format( $state['size'], 1 ) );
	}
	return __( 'Missing.', '#prefix#' );
}

/**
 * Loads the uploader on the funnel's own edit screen only.
 *
 * @param string $hook The admin page.
 */
function #prefix#_enqueue_uploader( $hook ) {
	$post = get_post();
	if ( ! in_array( $hook, array( 'post.php', 'post-new.php' ), true ) || ! $post || #prefix#_post_type() !== $post->post_type
		|| ! #prefix#_delivery()['files'] || ! #prefix#_can_manage( $post->ID ) ) {
		return;
	}
	$version = get_file_data( dirname( __DIR__ ) . '/plugin.php', array( 'Version' => 'Version' ) )['Version'];
	wp_enqueue_script( '#prefix#-upload', plugins_url( 'assets/upload.js', dirname( __DIR__ ) . '/plugin.php' ), array(), $version, true );
}
add_action( 'admin_enqueue_scripts', '#prefix#_enqueue_uploader' );

/**
 * For buyers, a line in place of the links while some files are still missing.
 *
 * @return string HTML.
 */
function #prefix#_missing_files_note() {
	$missing = #prefix#_missing_delivery_files();
	if ( ! $missing ) {
		return '';
	}
	return '<p class="#prefix#-being-prepared">' . esc_html(
		/* translators: %s: the names of the files, separated by commas. */
		sprintf( __( 'Being prepared: %s. Please come back a little later.', '#prefix#' ), implode( ', ', array_map( 'wp_basename', $missing ) ) )
	) . '</p>';
}

/**
 * Answers a request for a file that is listed but not on the site yet: 503 with a plain line,
 * in the site's look where the page helper is there, never a PHP error.
 *
 * @param string $name The file's name as the site names it.
 */
function #prefix#_refuse_missing_file( $name ) {
	$title   = __( 'Being prepared', '#prefix#' );
	$message = sprintf(
		/* translators: %s: the file's name. */
		__( 'The file %s is being prepared. Please come back a little later.', '#prefix#' ),
		wp_basename( $name )
	);
	header( 'Retry-After: 3600' );
	if ( function_exists( '#prefix#_themed_page' ) ) {
		status_header( 503 );
		#prefix#_private_headers();
		#prefix#_themed_page( $title, '<p>' . esc_html( $message ) . '</p>' );
	}
	#prefix#_private_headers();
	wp_die( '<h1>' . esc_html( $title ) . '</h1><p>' . esc_html( $message ) . '</p>', esc_html( $title ), array( 'response' => 503 ) );
}

/**
 * Removes pieces of uploads nobody finished within a day.
 */
function #prefix#_sweep_partial_uploads() {
	$store = #prefix#_upload_store();
	$parts = '' === $store ? false : glob( $store . '/*.part.php', GLOB_NOSORT );
	foreach ( is_array( $parts ) ? $parts : array() as $part ) {
		if ( filemtime( $part ) < time() - DAY_IN_SECONDS ) {
			wp_delete_file( $part );
		}
	}
}
add_action( '#prefix#_sweep_uploads', '#prefix#_sweep_partial_uploads' );

/**
 * Schedules the daily sweep once an upload has begun; it stays until the plugin is switched off.
 */
function #prefix#_schedule_sweep() {
	if ( ! wp_next_scheduled( '#prefix#_sweep_uploads' ) ) {
		wp_schedule_event( time() + HOUR_IN_SECONDS, 'daily', '#prefix#_sweep_uploads' );
	}
}

/**
 * Switching the plugin off ends the sweep.
 */
function #prefix#_unschedule_sweep() {
	wp_clear_scheduled_hook( '#prefix#_sweep_uploads' );
}
register_deactivation_hook( dirname( __DIR__ ) . '/plugin.php', '#prefix#_unschedule_sweep' );
