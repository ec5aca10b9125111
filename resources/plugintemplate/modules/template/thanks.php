<?php
/**
 * The funnel's download page, as WordPress shows it at the funnel's address with its key.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

#prefix#_render_page( 'download' );
